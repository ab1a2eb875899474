#include "formats/json_element.h"

#include <algorithm>
#include <utility>

#include "formats/json_exception.h"

namespace Halden::json {

Element::Element(const Element& other)
    : content(other.content ? other.content->Clone() : nullptr) {}

Element& Element::operator=(const Element& other) {
  // Clone before letting go of the old content: other may live inside it.
  content = other.content ? other.content->Clone() : nullptr;
  return *this;
}

Element::~Element() = default;

const ElementImpl& Element::Content() const {
  static const Null null;
  if (content) return *content;
  return null;
}

bool Element::IsObject() const { return Content().IsObject(); }
bool Element::IsArray() const { return Content().IsArray(); }
bool Element::IsNumber() const { return Content().IsNumber(); }
bool Element::IsString() const { return Content().IsString(); }
bool Element::IsBoolean() const { return Content().IsBoolean(); }
bool Element::IsNull() const { return Content().IsNull(); }

template <typename Kind>
Kind& Element::As() {
  Kind* kind = dynamic_cast<Kind*>(content.get());
  if (kind == nullptr) {
    auto fresh = std::make_unique<Kind>();
    kind = fresh.get();
    content = std::move(fresh);
  }
  return *kind;
}

template <typename Kind>
const Kind& Element::As() const {
  static const Kind defaultValue;
  const Kind* kind = dynamic_cast<const Kind*>(&Content());
  return kind != nullptr ? *kind : defaultValue;
}

Object& Element::AsObject() { return As<Object>(); }
Array& Element::AsArray() { return As<Array>(); }
Number& Element::AsNumber() { return As<Number>(); }
String& Element::AsString() { return As<String>(); }
Boolean& Element::AsBoolean() { return As<Boolean>(); }
Null& Element::AsNull() { return As<Null>(); }

const Object& Element::AsObject() const { return As<Object>(); }
const Array& Element::AsArray() const { return As<Array>(); }
const Number& Element::AsNumber() const { return As<Number>(); }
const String& Element::AsString() const { return As<String>(); }
const Boolean& Element::AsBoolean() const { return As<Boolean>(); }
const Null& Element::AsNull() const { return As<Null>(); }

void Element::Accept(ConstVisitor& visitor) const { Content().Accept(visitor); }
void Element::Accept(Visitor& visitor) {
  if (!content) content = std::make_unique<Null>();
  content->Accept(visitor);
}

bool operator==(const Element& a, const Element& b) { return a.Content().Equals(b.Content()); }

Element* Object::Find(std::string_view name) {
  for (Member& member : members) {
    if (member.name == name) return &member.element;
  }
  return nullptr;
}

const Element* Object::Find(std::string_view name) const {
  return const_cast<Object*>(this)->Find(name);
}

Element& Object::operator[](std::string_view name) {
  if (Element* element = Find(name)) return *element;
  return members.emplace_back(Member{std::string(name), Element()}).element;
}

Element& Object::Insert(std::string name, Element element) {
  if (Find(name) != nullptr) throw Exception("Object member already exists: " + name);
  return Append(std::move(name), std::move(element));
}

Element& Object::Append(std::string name, Element element) {
  return members.emplace_back(Member{std::move(name), std::move(element)}).element;
}

std::unique_ptr<ElementImpl> Object::Clone() const { return std::make_unique<Object>(*this); }

bool Object::Equals(const ElementImpl& other) const {
  if (!other.IsObject()) return false;
  const auto& otherMembers = static_cast<const Object&>(other).members;
  return std::equal(
      members.begin(), members.end(), otherMembers.begin(), otherMembers.end(),
      [](const Member& a, const Member& b) { return a.name == b.name && a.element == b.element; });
}

Element& Array::Append(Element element) { return elements.emplace_back(std::move(element)); }

std::unique_ptr<ElementImpl> Array::Clone() const { return std::make_unique<Array>(*this); }

bool Array::Equals(const ElementImpl& other) const {
  return other.IsArray() && elements == static_cast<const Array&>(other).elements;
}

std::unique_ptr<ElementImpl> Number::Clone() const { return std::make_unique<Number>(*this); }

bool Number::Equals(const ElementImpl& other) const {
  return other.IsNumber() && value == static_cast<const Number&>(other).value;
}

std::unique_ptr<ElementImpl> String::Clone() const { return std::make_unique<String>(*this); }

bool String::Equals(const ElementImpl& other) const {
  return other.IsString() && value == static_cast<const String&>(other).value;
}

std::unique_ptr<ElementImpl> Boolean::Clone() const { return std::make_unique<Boolean>(*this); }

bool Boolean::Equals(const ElementImpl& other) const {
  return other.IsBoolean() && value == static_cast<const Boolean&>(other).value;
}

std::unique_ptr<ElementImpl> Null::Clone() const { return std::make_unique<Null>(*this); }

bool Null::Equals(const ElementImpl& other) const { return other.IsNull(); }

}  // namespace Halden::json
