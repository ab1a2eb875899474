// A small JSON document model: a tree of elements, each of one of six kinds.
// It is read from text by json::Reader and has no writer.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Halden::json {

class Element;
class Object;
class Array;
class Number;
class String;
class Boolean;
class Null;

// Read-only visitor: Element::Accept calls the overload of the element's kind.
class ConstVisitor {
 public:
  virtual ~ConstVisitor() = default;
  virtual void Visit(const Object& object) = 0;
  virtual void Visit(const Array& array) = 0;
  virtual void Visit(const Number& number) = 0;
  virtual void Visit(const String& string) = 0;
  virtual void Visit(const Boolean& boolean) = 0;
  virtual void Visit(const Null& null) = 0;
};

// Mutating visitor: like ConstVisitor, but may change the visited content.
class Visitor {
 public:
  virtual ~Visitor() = default;
  virtual void Visit(Object& object) = 0;
  virtual void Visit(Array& array) = 0;
  virtual void Visit(Number& number) = 0;
  virtual void Visit(String& string) = 0;
  virtual void Visit(Boolean& boolean) = 0;
  virtual void Visit(Null& null) = 0;
};

// The content of an element; the six kinds below derive from it. Each kind
// clones itself, compares itself with another content (equal only to the
// same kind with equal contents), accepts visitors and answers the kind
// queries, true only for its own kind.
class ElementImpl {
 public:
  virtual ~ElementImpl() = default;
  virtual std::unique_ptr<ElementImpl> Clone() const = 0;
  virtual bool Equals(const ElementImpl& other) const = 0;
  virtual void Accept(ConstVisitor& visitor) const = 0;
  virtual void Accept(Visitor& visitor) = 0;
  virtual bool IsObject() const { return false; }
  virtual bool IsArray() const { return false; }
  virtual bool IsNumber() const { return false; }
  virtual bool IsString() const { return false; }
  virtual bool IsBoolean() const { return false; }
  virtual bool IsNull() const { return false; }

 protected:
  ElementImpl() = default;
  ElementImpl(const ElementImpl&) = default;
  ElementImpl& operator=(const ElementImpl&) = default;
};

// The value holder of the tree: owns one content of one of the six kinds. A
// new element, and one that was moved from, is null. Copying copies the
// whole subtree.
//
// Typed access (AsObject() and the like) on a mutable element never fails:
// when the element is of another kind, its content is replaced by a default
// value of the requested kind (empty object or array, 0, empty text, false)
// and that is returned. Test the kind first where the tree must not change.
// On a const element of another kind, typed access returns a shared default
// value of the requested kind and leaves the element alone.
class Element {
 public:
  Element() noexcept = default;
  Element(const Element& other);
  Element(Element&& other) noexcept = default;
  Element& operator=(const Element& other);
  Element& operator=(Element&& other) noexcept = default;
  ~Element();

  bool IsObject() const;
  bool IsArray() const;
  bool IsNumber() const;
  bool IsString() const;
  bool IsBoolean() const;
  bool IsNull() const;

  Object& AsObject();
  Array& AsArray();
  Number& AsNumber();
  String& AsString();
  Boolean& AsBoolean();
  Null& AsNull();

  const Object& AsObject() const;
  const Array& AsArray() const;
  const Number& AsNumber() const;
  const String& AsString() const;
  const Boolean& AsBoolean() const;
  const Null& AsNull() const;

  void Accept(ConstVisitor& visitor) const;
  void Accept(Visitor& visitor);

  // Same kind and equal contents; objects compare their members pairwise in
  // order (names and elements), arrays their elements.
  friend bool operator==(const Element& a, const Element& b);

 private:
  const ElementImpl& Content() const;
  template <typename Kind>
  Kind& As();
  template <typename Kind>
  const Kind& As() const;

  // Null when the element is of kind null, so that new and moved-from
  // elements cost no allocation.
  std::unique_ptr<ElementImpl> content;
};

// An object: members with unique names, in insertion order. Adding a member
// may move the others: a reference to an element is valid until then.
class Object final : public ElementImpl {
 public:
  struct Member {
    std::string name;
    Element element;
  };
  using const_iterator = std::vector<Member>::const_iterator;

  // The member's element, or null when no member has that exact name.
  Element* Find(std::string_view name);
  const Element* Find(std::string_view name) const;
  // The member's element; a missing member is appended with a null element.
  Element& operator[](std::string_view name);
  // Appends a member; throws json::Exception "Object member already exists: "
  // followed by the name when one of that name exists.
  Element& Insert(std::string name, Element element);
  // Appends a member without looking for its name, which the caller knows
  // to be new.
  Element& Append(std::string name, Element element);

  std::size_t Size() const { return members.size(); }
  const_iterator begin() const { return members.begin(); }
  const_iterator end() const { return members.end(); }

  std::unique_ptr<ElementImpl> Clone() const override;
  bool Equals(const ElementImpl& other) const override;
  void Accept(ConstVisitor& visitor) const override { visitor.Visit(*this); }
  void Accept(Visitor& visitor) override { visitor.Visit(*this); }
  bool IsObject() const override { return true; }

 private:
  std::vector<Member> members;
};

// An array: elements in document order. Appending may move the elements: a
// reference to one is valid until then.
class Array final : public ElementImpl {
 public:
  using iterator = std::vector<Element>::iterator;
  using const_iterator = std::vector<Element>::const_iterator;

  // Appends the element and returns the stored copy.
  Element& Append(Element element);

  std::size_t Size() const { return elements.size(); }
  iterator begin() { return elements.begin(); }
  iterator end() { return elements.end(); }
  const_iterator begin() const { return elements.begin(); }
  const_iterator end() const { return elements.end(); }

  std::unique_ptr<ElementImpl> Clone() const override;
  bool Equals(const ElementImpl& other) const override;
  void Accept(ConstVisitor& visitor) const override { visitor.Visit(*this); }
  void Accept(Visitor& visitor) override { visitor.Visit(*this); }
  bool IsArray() const override { return true; }

 private:
  std::vector<Element> elements;
};

// A number; every JSON number, integral or not, is held as a double.
class Number final : public ElementImpl {
 public:
  explicit Number(double value = 0) : value(value) {}

  double Value() const { return value; }
  void SetValue(double newValue) { value = newValue; }

  std::unique_ptr<ElementImpl> Clone() const override;
  bool Equals(const ElementImpl& other) const override;
  void Accept(ConstVisitor& visitor) const override { visitor.Visit(*this); }
  void Accept(Visitor& visitor) override { visitor.Visit(*this); }
  bool IsNumber() const override { return true; }

 private:
  double value;
};

// A string: bytes as the reader left them (escapes resolved except \u, which
// stays as its six source characters).
class String final : public ElementImpl {
 public:
  explicit String(std::string value = {}) : value(std::move(value)) {}

  const std::string& Value() const { return value; }
  void SetValue(std::string newValue) { value = std::move(newValue); }

  std::unique_ptr<ElementImpl> Clone() const override;
  bool Equals(const ElementImpl& other) const override;
  void Accept(ConstVisitor& visitor) const override { visitor.Visit(*this); }
  void Accept(Visitor& visitor) override { visitor.Visit(*this); }
  bool IsString() const override { return true; }

 private:
  std::string value;
};

class Boolean final : public ElementImpl {
 public:
  explicit Boolean(bool value = false) : value(value) {}

  bool Value() const { return value; }
  void SetValue(bool newValue) { value = newValue; }

  std::unique_ptr<ElementImpl> Clone() const override;
  bool Equals(const ElementImpl& other) const override;
  void Accept(ConstVisitor& visitor) const override { visitor.Visit(*this); }
  void Accept(Visitor& visitor) override { visitor.Visit(*this); }
  bool IsBoolean() const override { return true; }

 private:
  bool value;
};

class Null final : public ElementImpl {
 public:
  std::unique_ptr<ElementImpl> Clone() const override;
  bool Equals(const ElementImpl& other) const override;
  void Accept(ConstVisitor& visitor) const override { visitor.Visit(*this); }
  void Accept(Visitor& visitor) override { visitor.Visit(*this); }
  bool IsNull() const override { return true; }
};

}  // namespace Halden::json
