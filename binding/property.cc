#include "binding/property.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <new>
#include <stdexcept>
#include <tuple>

#include "binding/base64.h"
#include "binding/internal/walk_stack.h"
#include "binding/property_visitor.h"

namespace Halden {

// Not constinit: some compilers cannot build a std::string at compile time,
// and construct it during start-up instead.
const std::string kEmptyString;
constinit const std::vector<uint8_t> kEmptyBlob;
constinit const EnumValue kEmptyEnumValue;

namespace {

constinit const BindingProperty kEmptyProperty;

[[noreturn]] void ThrowTooLong() { throw std::length_error("vector<T> too long"); }

// Bytes of `text` before its first NUL.
std::size_t TextLength(const std::string& text) {
  const void* nul = std::memchr(text.data(), '\0', text.size());
  return nul == nullptr ? text.size()
                        : static_cast<std::size_t>(static_cast<const char*>(nul) - text.data());
}

}  // namespace

// The element array is a plain heap array; elements hold no pointers into
// it, so growing it moves them by copying their fields.
struct BindingProperty::CollectionCell {
  BindingProperty* data = nullptr;
  uint32_t size = 0;
  uint32_t capacity = 0;

  void Grow(PropertyArena* treeArena, std::size_t newCapacity) {
    BindingProperty* grown =
        static_cast<BindingProperty*>(::operator new(newCapacity * sizeof(BindingProperty)));
    for (uint32_t i = 0; i < size; ++i) {
      BindingProperty* element = new (&grown[i]) BindingProperty(ChildTag(), treeArena);
      element->payload = data[i].payload;
      element->kind = data[i].kind;
    }
    ::operator delete(data);
    data = grown;
    capacity = static_cast<uint32_t>(newCapacity);
  }
};

// One open level of a walk: a container and the position of the child
// being visited among its elements or members.
template <typename Property>
struct BindingProperty::Cursor {
  using Members =
      std::conditional_t<std::is_const_v<Property>, const internal::MemberMap, internal::MemberMap>;

  Cursor() = default;
  explicit Cursor(Property& container) : node(&container) {
    if (container.kind == BindingPropertyKind::Structure) {
      member = container.payload.structure->members.begin();
    }
  }

  bool InCollection() const { return node->kind == BindingPropertyKind::Collection; }
  bool AtEnd() const {
    return InCollection() ? index == node->payload.collection->size
                          : member == node->payload.structure->members.end();
  }
  Property& Child() const {
    return InCollection() ? node->payload.collection->data[index] : member->second;
  }
  void Advance() {
    if (InCollection()) {
      ++index;
    } else {
      ++member;
    }
  }
  bool BeginChild(BindingPropertyVisitor& visitor) const {
    return InCollection() ? visitor.BeginElement(index)
                          : visitor.BeginMember(member->first->Text());
  }
  bool EndChild(BindingPropertyVisitor& visitor) const {
    return InCollection() ? visitor.EndElement(index) : visitor.EndMember(member->first->Text());
  }

  Property* node = nullptr;
  uint32_t index = 0;
  decltype(std::declval<Members&>().begin()) member{};
};

const char* KindName(BindingPropertyKind kind) {
  static constexpr const char* kNames[] = {"empty",  "bool", "signed", "unsigned",   "float",
                                           "string", "blob", "enum",   "collection", "structure"};
  const auto code = static_cast<std::size_t>(kind);
  return code < std::size(kNames) ? kNames[code] : "";
}

BindingProperty::BindingProperty(const BindingProperty& other) {
  try {
    CopyIntoEmpty(other);
  } catch (...) {
    Reset();
    PropertyArena::Dispose(arena);
    throw;
  }
}

BindingProperty::BindingProperty(BindingProperty&& other) noexcept {
  if (other.ownsArena != 0) {
    payload = other.payload;
    arena = other.arena;
    kind = other.kind;
    other.payload.raw = 0;
    other.arena = nullptr;
    other.kind = BindingPropertyKind::Empty;
  } else {
    *this = std::move(other);
  }
}

BindingProperty::~BindingProperty() {
  if (ownsArena == 0 || arena == nullptr) {
    Reset();
    return;
  }
  // The arena goes with the root and takes every cell and string of the tree
  // with it, so only what lives on the general heap is freed one by one.
  Discard();
  PropertyArena::Dispose(arena);
}

BindingProperty& BindingProperty::operator=(const BindingProperty& other) {
  if (this == &other) return *this;
  if (other.kind <= BindingPropertyKind::Float) {
    const Payload value = other.payload;
    const BindingPropertyKind valueKind = other.kind;
    Reset();
    payload = value;
    kind = valueKind;
    return *this;
  }
  // Built apart first: `other` may lie inside this property's value, or
  // this property inside `other`.
  BindingProperty copy(ChildTag(), &TreeArena());
  copy.CopyIntoEmpty(other);
  Reset();
  TakeValue(copy);
  return *this;
}

BindingProperty& BindingProperty::operator=(BindingProperty&& other) {
  if (this == &other) return *this;
  if (ownsArena != 0 && other.ownsArena != 0) {
    std::swap(payload, other.payload);
    std::swap(arena, other.arena);
    std::swap(kind, other.kind);
    other.Reset();
    return *this;
  }
  if (other.kind <= BindingPropertyKind::Float) {
    const Payload value = other.payload;
    const BindingPropertyKind valueKind = other.kind;
    other.Reset();
    Reset();
    payload = value;
    kind = valueKind;
    return *this;
  }
  BindingProperty copy(ChildTag(), &TreeArena());
  copy.CopyIntoEmpty(other);
  // `other` is emptied before this value is released and its former value
  // released last, so neither release can reach into the other's tree.
  BindingProperty former(ChildTag(), other.arena);
  former.TakeValue(other);
  Reset();
  TakeValue(copy);
  return *this;
}

const BindingProperty& BindingProperty::Empty() { return kEmptyProperty; }

uint32_t BindingProperty::Size() const {
  switch (kind) {
    case BindingPropertyKind::Empty:
      return 0;
    case BindingPropertyKind::String:
      return static_cast<uint32_t>(payload.string->Text().size());
    case BindingPropertyKind::Blob:
      return static_cast<uint32_t>(payload.blob->size());
    case BindingPropertyKind::Collection:
      return payload.collection->size;
    case BindingPropertyKind::Structure:
      return static_cast<uint32_t>(payload.structure->members.size());
    default:
      return 1;
  }
}

bool BindingProperty::GetBool(bool fallback) const {
  return kind == BindingPropertyKind::Bool ? payload.boolean : fallback;
}

int64_t BindingProperty::GetSigned(int64_t fallback) const {
  return kind == BindingPropertyKind::Signed ? payload.signedValue : fallback;
}

uint64_t BindingProperty::GetUnsigned(uint64_t fallback) const {
  return kind == BindingPropertyKind::Unsigned ? payload.unsignedValue : fallback;
}

double BindingProperty::GetFloat(double fallback) const {
  return kind == BindingPropertyKind::Float ? payload.floatValue : fallback;
}

const std::string& BindingProperty::GetString(const std::string& fallback) const {
  return kind == BindingPropertyKind::String ? payload.string->Text() : fallback;
}

const std::vector<uint8_t>& BindingProperty::GetBlob(const std::vector<uint8_t>& fallback) const {
  return kind == BindingPropertyKind::Blob ? *payload.blob : fallback;
}

const EnumValue& BindingProperty::GetEnum(const EnumValue& fallback) const {
  return kind == BindingPropertyKind::Enum ? *payload.enumValue : fallback;
}

const BindingProperty& BindingProperty::Element(std::size_t index) const {
  if (kind != BindingPropertyKind::Collection || index >= payload.collection->size) {
    return kEmptyProperty;
  }
  return payload.collection->data[index];
}

const BindingProperty& BindingProperty::Find(const char* key) const {
  if (kind != BindingPropertyKind::Structure) return kEmptyProperty;
  const internal::MemberMap& members = payload.structure->members;
  const auto it = members.find(std::string_view(key != nullptr ? key : ""));
  return it == members.end() ? kEmptyProperty : it->second;
}

const BindingProperty& BindingProperty::Find(const std::string& key) const {
  return Find(key.c_str());
}

bool BindingProperty::Accept(BindingPropertyVisitor& visitor) const {
  if (!IsContainer()) return VisitScalar(visitor);
  if (!BeginContainer(visitor)) return false;
  internal::WalkStack<Cursor<const BindingProperty>> open;
  open.Push(Cursor<const BindingProperty>(*this));
  while (!open.Empty()) {
    Cursor<const BindingProperty>& top = open.Back();
    if (top.AtEnd()) {
      if (!top.node->EndContainer(visitor)) return false;
      open.Pop();
      if (open.Empty()) break;
      Cursor<const BindingProperty>& parent = open.Back();
      if (!parent.EndChild(visitor)) return false;
      parent.Advance();
      continue;
    }
    if (!top.BeginChild(visitor)) return false;
    const BindingProperty& child = top.Child();
    if (child.IsContainer()) {
      // Its end, and the end of its element or member, come when it is done.
      if (!child.BeginContainer(visitor)) return false;
      open.Push(Cursor<const BindingProperty>(child));
      continue;
    }
    if (!child.VisitScalar(visitor) || !top.EndChild(visitor)) return false;
    top.Advance();
  }
  return true;
}

bool BindingProperty::VisitScalar(BindingPropertyVisitor& visitor) const {
  switch (kind) {
    case BindingPropertyKind::Empty:
      return visitor.VisitEmpty();
    case BindingPropertyKind::Bool:
      return visitor.VisitBool(payload.boolean);
    case BindingPropertyKind::Signed:
      return visitor.VisitSigned(payload.signedValue);
    case BindingPropertyKind::Unsigned:
      return visitor.VisitUnsigned(payload.unsignedValue);
    case BindingPropertyKind::Float:
      return visitor.VisitFloat(payload.floatValue);
    case BindingPropertyKind::String:
      return visitor.VisitString(*payload.string);
    case BindingPropertyKind::Blob:
      return visitor.VisitBlob(*payload.blob);
    case BindingPropertyKind::Enum:
      return visitor.VisitEnum(*payload.enumValue);
    default:
      return true;
  }
}

bool BindingProperty::BeginContainer(BindingPropertyVisitor& visitor) const {
  return kind == BindingPropertyKind::Collection ? visitor.BeginCollection(payload.collection->size)
                                                 : visitor.BeginStructure(Size());
}

bool BindingProperty::EndContainer(BindingPropertyVisitor& visitor) const {
  return kind == BindingPropertyKind::Collection ? visitor.EndCollection() : visitor.EndStructure();
}

std::string BindingProperty::ToText() const {
  switch (kind) {
    case BindingPropertyKind::Bool:
      return payload.boolean ? "true" : "false";
    case BindingPropertyKind::Signed:
      return std::to_string(payload.signedValue);
    case BindingPropertyKind::Unsigned:
      return std::to_string(payload.unsignedValue);
    case BindingPropertyKind::Float: {
      // What "%f" prints in the C locale, whatever locale the host has set;
      // wide enough for every double in fixed notation.
      char buffer[400];
      const auto end = std::to_chars(buffer, buffer + sizeof buffer, payload.floatValue,
                                     std::chars_format::fixed, 6);
      return std::string(buffer, end.ptr);
    }
    case BindingPropertyKind::String:
      return payload.string->Text();
    case BindingPropertyKind::Blob:
      return Base64Encode(*payload.blob);
    case BindingPropertyKind::Enum:
      return std::to_string(payload.enumValue->value);
    default:
      return std::string();
  }
}

void BindingProperty::Reset() {
  if (kind >= BindingPropertyKind::String) ReleaseValue();
  payload.raw = 0;
  kind = BindingPropertyKind::Empty;
}

void BindingProperty::ReleaseValue() {
  switch (kind) {
    case BindingPropertyKind::String:
      // The empty entry may sit in a root that has no arena.
      if (payload.string != InternedString::Empty()) arena->Unref(payload.string);
      break;
    case BindingPropertyKind::Blob:
      arena->Destroy(payload.blob);
      break;
    case BindingPropertyKind::Enum:
      arena->Destroy(payload.enumValue);
      break;
    case BindingPropertyKind::Collection:
    case BindingPropertyKind::Structure:
      Dismantle<false>();
      break;
    default:
      break;
  }
}

void BindingProperty::Discard() {
  if (IsContainer()) {
    Dismantle<true>();
  } else if (kind == BindingPropertyKind::Blob) {
    payload.blob->~vector();
  }
}

template <bool kDiscard>
void BindingProperty::Dismantle() noexcept {
  internal::WalkStack<Cursor<BindingProperty>> open;
  open.Push(Cursor<BindingProperty>(*this));
  while (!open.Empty()) {
    Cursor<BindingProperty>& top = open.Back();
    if (top.AtEnd()) {
      top.node->FreeContainer<kDiscard>();
      open.Pop();
      continue;
    }
    BindingProperty& child = top.Child();
    top.Advance();
    if (child.IsContainer()) {
      // Out of memory for a frame, the machine stack is the last resort.
      if (!open.TryPush(Cursor<BindingProperty>(child))) child.Dismantle<kDiscard>();
    } else if (!kDiscard) {
      child.Reset();
    } else if (child.kind == BindingPropertyKind::Blob) {
      child.payload.blob->~vector();
    }
  }
}

// Its children hold nothing more, so destroying the cell releases only the
// cell, its element array or member nodes, and the members' keys.
template <bool kDiscard>
void BindingProperty::FreeContainer() noexcept {
  if (kind == BindingPropertyKind::Collection) {
    ::operator delete(payload.collection->data);
    if (!kDiscard) arena->Destroy(payload.collection);
  } else if (!kDiscard) {
    arena->Destroy(payload.structure);
  }
  payload.raw = 0;
  kind = BindingPropertyKind::Empty;
}

PropertyArena& BindingProperty::TreeArena() {
  // Only a root can be without an arena; children always share their root's.
  if (arena == nullptr) arena = PropertyArena::Acquire();
  return *arena;
}

void BindingProperty::TakeValue(BindingProperty& source) {
  payload = source.payload;
  kind = source.kind;
  source.payload.raw = 0;
  source.kind = BindingPropertyKind::Empty;
}

// Containers are opened top-down; the children of each are copied in order,
// a container among them opened and continued before its later siblings.
void BindingProperty::CopyIntoEmpty(const BindingProperty& source) {
  if (!source.IsContainer()) {
    CopyScalar(source);
    return;
  }
  struct Level {
    BindingProperty* target;
    Cursor<const BindingProperty> from;
  };
  internal::WalkStack<Level> open;
  OpenCopy(source);
  open.Push({this, Cursor<const BindingProperty>(source)});
  while (!open.Empty()) {
    Level& top = open.Back();
    if (top.from.AtEnd()) {
      open.Pop();
      continue;
    }
    BindingProperty& child = top.target->AddChildFor(top.from);
    const BindingProperty& original = top.from.Child();
    top.from.Advance();
    if (original.IsContainer()) {
      child.OpenCopy(original);
      open.Push({&child, Cursor<const BindingProperty>(original)});
    } else {
      child.CopyScalar(original);
    }
  }
}

void BindingProperty::CopyScalar(const BindingProperty& source) {
  switch (source.kind) {
    case BindingPropertyKind::String: {
      InternedString* entry = source.payload.string;
      // All bytes are copied, so a text with an embedded NUL stays whole.
      if (entry == InternedString::Empty() || source.arena == arena) {
        PropertyArena::Retain(entry);
      } else {
        entry = TreeArena().InternBytes(entry->Text().data(), entry->Text().size());
      }
      payload.string = entry;
      kind = BindingPropertyKind::String;
      return;
    }
    case BindingPropertyKind::Blob:
      payload.blob = TreeArena().Create<std::vector<uint8_t>>(*source.payload.blob);
      kind = BindingPropertyKind::Blob;
      return;
    case BindingPropertyKind::Enum:
      payload.enumValue = TreeArena().Create<EnumValue>(*source.payload.enumValue);
      kind = BindingPropertyKind::Enum;
      return;
    default:
      // Empty, Bool and the numbers are held in place.
      payload = source.payload;
      kind = source.kind;
      return;
  }
}

void BindingProperty::OpenCopy(const BindingProperty& source) {
  PropertyArena& treeArena = TreeArena();
  if (source.kind == BindingPropertyKind::Collection) {
    CollectionCell* cell = treeArena.Create<CollectionCell>();
    payload.collection = cell;
    kind = BindingPropertyKind::Collection;
    if (source.payload.collection->size != 0) cell->Grow(arena, source.payload.collection->size);
  } else {
    payload.structure = treeArena.Create<StructureCell>(&treeArena);
    kind = BindingPropertyKind::Structure;
  }
}

BindingProperty& BindingProperty::AddChildFor(const Cursor<const BindingProperty>& at) {
  if (kind == BindingPropertyKind::Collection) {
    // OpenCopy made room for every element.
    CollectionCell& cell = *payload.collection;
    BindingProperty* element = new (&cell.data[cell.size]) BindingProperty(ChildTag(), arena);
    ++cell.size;
    return *element;
  }
  InternedString* key = at.member->first;
  // Keys arrive in order, so each member goes at the end.
  return EmplaceMember(at.node->arena == arena
                           ? PropertyArena::Retain(key)
                           : arena->InternBytes(key->Text().data(), key->Text().size()));
}

BindingProperty& BindingProperty::SetBool(bool value) {
  Reset();
  payload.boolean = value;
  kind = BindingPropertyKind::Bool;
  return *this;
}

BindingProperty& BindingProperty::SetSigned(int64_t value) {
  Reset();
  payload.signedValue = value;
  kind = BindingPropertyKind::Signed;
  return *this;
}

BindingProperty& BindingProperty::SetUnsigned(uint64_t value) {
  Reset();
  payload.unsignedValue = value;
  kind = BindingPropertyKind::Unsigned;
  return *this;
}

BindingProperty& BindingProperty::SetFloat(double value) {
  Reset();
  payload.floatValue = value;
  kind = BindingPropertyKind::Float;
  return *this;
}

// The new value is always obtained before the old one is released: the text,
// blob or enum handed in may belong to the value being replaced.
void BindingProperty::StoreString(InternedString* entry) {
  Reset();
  payload.string = entry;
  kind = BindingPropertyKind::String;
}

BindingProperty& BindingProperty::SetString(const char* text) {
  const bool empty = text == nullptr || *text == '\0';
  StoreString(empty ? InternedString::Empty() : TreeArena().Intern(text));
  return *this;
}

BindingProperty& BindingProperty::SetString(const std::string& text) {
  const std::size_t length = TextLength(text);
  StoreString(length == 0 ? InternedString::Empty() : TreeArena().InternBytes(text.data(), length));
  return *this;
}

BindingProperty& BindingProperty::SetString(std::string&& text) {
  StoreString(text.empty() ? InternedString::Empty() : TreeArena().Intern(std::move(text)));
  return *this;
}

BindingProperty& BindingProperty::SetString(const char* data, std::size_t size) {
  StoreString(size == 0 ? InternedString::Empty() : TreeArena().InternBytes(data, size));
  return *this;
}

BindingProperty& BindingProperty::SetBlob(const std::vector<uint8_t>& bytes) {
  if (bytes.size() > kMaxBlobSize) ThrowTooLong();
  std::vector<uint8_t>* cell = TreeArena().Create<std::vector<uint8_t>>(bytes);
  Reset();
  payload.blob = cell;
  kind = BindingPropertyKind::Blob;
  return *this;
}

BindingProperty& BindingProperty::SetBlob(std::vector<uint8_t>&& bytes) {
  if (bytes.size() > kMaxBlobSize) ThrowTooLong();
  std::vector<uint8_t>* cell = TreeArena().Create<std::vector<uint8_t>>(std::move(bytes));
  bytes.clear();
  Reset();
  payload.blob = cell;
  kind = BindingPropertyKind::Blob;
  return *this;
}

BindingProperty& BindingProperty::SetEnum(const EnumValue& value) {
  EnumValue* cell = TreeArena().Create<EnumValue>(value);
  Reset();
  payload.enumValue = cell;
  kind = BindingPropertyKind::Enum;
  return *this;
}

BindingProperty& BindingProperty::MakeCollection() {
  if (kind == BindingPropertyKind::Collection) return *this;
  CollectionCell* cell = TreeArena().Create<CollectionCell>();
  Reset();
  payload.collection = cell;
  kind = BindingPropertyKind::Collection;
  return *this;
}

BindingProperty& BindingProperty::MakeStructure() {
  if (kind == BindingPropertyKind::Structure) return *this;
  PropertyArena& treeArena = TreeArena();
  StructureCell* cell = treeArena.Create<StructureCell>(&treeArena);
  Reset();
  payload.structure = cell;
  kind = BindingPropertyKind::Structure;
  return *this;
}

BindingProperty& BindingProperty::Reserve(std::size_t count) {
  if (kind != BindingPropertyKind::Collection) return *this;
  if (count > kMaxCollectionSize) ThrowTooLong();
  CollectionCell& cell = *payload.collection;
  if (count > cell.capacity) cell.Grow(arena, count);
  return *this;
}

BindingProperty& BindingProperty::At(std::size_t index) {
  MakeCollection();
  CollectionCell& cell = *payload.collection;
  if (index < cell.size) return cell.data[index];
  if (index >= kMaxCollectionSize) ThrowTooLong();
  return AppendElements(index + 1 - cell.size);
}

BindingProperty& BindingProperty::Append() {
  MakeCollection();
  if (payload.collection->size >= kMaxCollectionSize) ThrowTooLong();
  return AppendElements(1);
}

// Appends `count` Empty elements to this Collection and returns the last;
// the caller has checked the length limit.
BindingProperty& BindingProperty::AppendElements(std::size_t count) {
  CollectionCell& cell = *payload.collection;
  const std::size_t needed = cell.size + count;
  if (needed > cell.capacity) {
    const std::size_t doubled =
        std::min<std::size_t>(std::size_t{cell.capacity} * 2, kMaxCollectionSize);
    cell.Grow(arena, std::max({needed, doubled, std::size_t{4}}));
  }
  for (; cell.size < needed; ++cell.size)
    new (&cell.data[cell.size]) BindingProperty(ChildTag(), arena);
  return cell.data[cell.size - 1];
}

BindingProperty& BindingProperty::Member(const char* key) {
  // Turning another value into a Structure releases it, and the key may lie
  // in that very value (its string, or a string of one of its children).
  if (kind >= BindingPropertyKind::String && kind != BindingPropertyKind::Structure) {
    const std::string owned(key != nullptr ? key : "");
    MakeStructure();
    return Member(owned.c_str());
  }
  MakeStructure();
  // The key is interned first: a new member needs its entry anyway, and
  // with it the tree is searched once, equal keys found by their entry.
  return EmplaceMember(arena->Intern(key));
}

// A member added after the last one goes in without a search. Until the map
// holds the entry, a failure drops its reference here; a member already
// there keeps its key, and the node made for nothing dropped the new
// reference as it went.
BindingProperty& BindingProperty::EmplaceMember(InternedString* entry) {
  try {
    internal::MemberMap& members = payload.structure->members;
    return members
        .emplace_hint(members.end(), std::piecewise_construct, std::forward_as_tuple(entry),
                      std::forward_as_tuple(ChildTag(), arena))
        ->second;
  } catch (...) {
    arena->Unref(entry);
    throw;
  }
}

BindingProperty& BindingProperty::Member(const std::string& key) { return Member(key.c_str()); }

BindingProperty& BindingProperty::Member(std::string_view key) {
  key = key.substr(0, std::min(key.find('\0'), key.size()));
  if (kind != BindingPropertyKind::Structure && kind != BindingPropertyKind::Empty) {
    return Member(std::string(key).c_str());
  }
  MakeStructure();
  return EmplaceMember(arena->InternBytes(key.data(), key.size()));
}

BindingProperty& BindingProperty::Member(const std::string& key, uint32_t hash) {
  if (kind != BindingPropertyKind::Structure && kind != BindingPropertyKind::Empty) {
    return Member(key.c_str());
  }
  MakeStructure();
  return EmplaceMember(arena->InternHashed(key.c_str(), TextLength(key), hash));
}

}  // namespace Halden
