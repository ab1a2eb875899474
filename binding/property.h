// The generic value of the framework: a tree of properties sharing one arena.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/enum_value.h"
#include "binding/interned_string.h"
#include "binding/property_arena.h"
#include "binding/property_kind.h"

namespace Halden {

class BindingPropertyVisitor;
class BindingMemberRange;

// Returned by text accessors that find no text.
extern const std::string kEmptyString;
// Fallbacks of GetBlob and GetEnum.
extern const std::vector<uint8_t> kEmptyBlob;
extern const EnumValue kEmptyEnumValue;

// A dynamically typed tree node: nothing, a bool, a signed or unsigned 64-bit
// integer, a double, a string, a byte blob, an enumeration value, an ordered
// collection of children or a structure of named children.
//
// A property constructed on its own is a root: it owns the PropertyArena of
// its tree, created on the first string, blob, enum or container stored
// anywhere in the tree. Children (elements and members) share their root's
// arena and never outlive it. References returned by At, Append, Member,
// Element and Find stay valid until an ancestor is reset or reassigned, the
// collection holding the child grows past its capacity, or the root is
// destroyed.
//
// Structure members are kept in byte-wise unsigned order of their keys, and
// iteration and Accept visit them in that order. Strings and keys of one
// tree with equal text share one InternedString.
//
// Read-only access never fails: a wrong kind, a missing member or an index
// past the end yields the shared empty property (`Empty()`), a strict getter
// on another kind yields its fallback. Mutating access turns the property
// into the needed kind, discarding its former value. The only exceptions are
// std::bad_alloc and std::length_error ("vector<T> too long") for a
// collection above kMaxCollectionSize elements or a blob above kMaxBlobSize
// bytes.
//
// A tree is not synchronised: one thread at a time may use it.
class BindingProperty {
 public:
  static constexpr std::size_t kMaxCollectionSize = 268435455;
  static constexpr std::size_t kMaxBlobSize = 2147483647;

  // An empty root without an arena.
  constexpr BindingProperty() noexcept = default;
  // A deep copy of `other` in a tree of its own.
  BindingProperty(const BindingProperty& other);
  // Takes over a root's value and arena; a child is copied (it cannot give
  // up its root's arena) and left empty. Running out of memory while copying
  // a child terminates the program.
  BindingProperty(BindingProperty&& other) noexcept;
  ~BindingProperty();

  // A deep copy into this property's own tree; assignment of a property to
  // itself does nothing. `other` may be an ancestor or descendant.
  BindingProperty& operator=(const BindingProperty& other);
  // Between two roots, an exchange of values and arenas, after which `other`
  // releases this property's former value and is empty. Otherwise a copy,
  // after which `other` is reset.
  BindingProperty& operator=(BindingProperty&& other);

  // The shared empty property.
  static const BindingProperty& Empty();

  BindingPropertyKind GetKind() const { return kind; }
  bool IsEmpty() const { return kind == BindingPropertyKind::Empty; }
  // 0 for Empty; bytes of a String or Blob; elements of a Collection;
  // members of a Structure; 1 for the other kinds.
  uint32_t Size() const;
  // The tree's arena, null until the tree needed one.
  const PropertyArena* Arena() const { return arena; }

  // Strict getters: the value when the property has that very kind,
  // otherwise `fallback`. There is no conversion between kinds. A reference
  // returned for a temporary fallback is valid only in the calling
  // expression.
  bool GetBool(bool fallback = false) const;
  int64_t GetSigned(int64_t fallback = 0) const;
  uint64_t GetUnsigned(uint64_t fallback = 0) const;
  double GetFloat(double fallback = 0) const;
  const std::string& GetString(const std::string& fallback = kEmptyString) const;
  const std::vector<uint8_t>& GetBlob(const std::vector<uint8_t>& fallback = kEmptyBlob) const;
  const EnumValue& GetEnum(const EnumValue& fallback = kEmptyEnumValue) const;

  // The element at `index` of a Collection.
  const BindingProperty& Element(std::size_t index) const;
  // The member under `key` of a Structure; the key is not copied. A
  // std::string key counts up to its first NUL, like a stored key.
  const BindingProperty& Find(const char* key) const;
  const BindingProperty& Find(const std::string& key) const;
  // The members of a Structure in key order; an empty range for any other
  // kind.
  BindingMemberRange Members() const;

  // Walks the tree depth first; false when the visitor stopped the walk.
  bool Accept(BindingPropertyVisitor& visitor) const;

  // Empty: ""; Bool: "true"/"false"; Signed, Unsigned and Enum: decimal;
  // Float: "%f"; String: the text; Blob: Base64 with padding; Collection
  // and Structure: "".
  std::string ToText() const;

  // Releases the value; the property becomes Empty and keeps its arena.
  void Reset();

  // Each setter replaces the value and returns the property.
  BindingProperty& SetBool(bool value);
  BindingProperty& SetSigned(int64_t value);
  BindingProperty& SetUnsigned(uint64_t value);
  BindingProperty& SetFloat(double value);
  // Takes the bytes up to the first NUL; null is the empty text.
  BindingProperty& SetString(const char* text);
  BindingProperty& SetString(const std::string& text);
  // Keep all bytes, embedded NULs included.
  BindingProperty& SetString(std::string&& text);
  BindingProperty& SetString(const char* data, std::size_t size);
  BindingProperty& SetBlob(const std::vector<uint8_t>& bytes);
  // Leaves `bytes` empty.
  BindingProperty& SetBlob(std::vector<uint8_t>&& bytes);
  BindingProperty& SetEnum(const EnumValue& value);

  // Turn the property into an empty container unless it already is one of
  // that kind.
  BindingProperty& MakeCollection();
  BindingProperty& MakeStructure();
  // Room for `count` elements of a Collection; no effect on other kinds.
  BindingProperty& Reserve(std::size_t count);
  // The element at `index`, making the property a Collection and appending
  // Empty elements up to and including `index` as needed.
  BindingProperty& At(std::size_t index);
  // A new Empty element at the end.
  BindingProperty& Append();
  // The member under `key`, making the property a Structure and adding an
  // Empty member as needed. A std::string key counts up to its first NUL.
  BindingProperty& Member(const char* key);
  BindingProperty& Member(const std::string& key);
  // A key that may lie in a larger text; counts up to its first NUL too.
  BindingProperty& Member(std::string_view key);
  // The same for a key whose 32-bit FNV-1a hash (of its bytes up to the
  // first NUL) is known, as a field descriptor keeps it. Members added in
  // key order go in at the end without a search.
  BindingProperty& Member(const std::string& key, uint32_t hash);

 private:
  // Only the property's own code can name this tag.
  struct ChildTag {
    explicit ChildTag() = default;
  };

 public:
  // A child of the tree owning `treeArena`; used by the tree's containers.
  BindingProperty(ChildTag, PropertyArena* treeArena) noexcept : arena(treeArena), ownsArena(0) {}

 private:
  friend class BindingMemberRange;
  struct CollectionCell;
  struct StructureCell;

  union Payload {
    uint64_t raw;
    bool boolean;
    int64_t signedValue;
    uint64_t unsignedValue;
    double floatValue;
    InternedString* string;
    std::vector<uint8_t>* blob;
    EnumValue* enumValue;
    CollectionCell* collection;
    StructureCell* structure;
  };

  // Trees nest as deep as their builders make them, so releasing, copying
  // and walking one keeps its open levels on a WalkStack, never on the
  // machine stack; a Cursor is one open level.
  template <typename Property>
  struct Cursor;

  bool IsContainer() const { return kind >= BindingPropertyKind::Collection; }
  PropertyArena& TreeArena();
  void ReleaseValue();
  // Frees what the value holds on the general heap, leaving the arena's
  // cells and strings to the arena's destruction.
  void Discard();
  // Releases a container value and everything below it, children before
  // their container; with kDiscard only what Discard frees.
  template <bool kDiscard>
  void Dismantle() noexcept;
  template <bool kDiscard>
  void FreeContainer() noexcept;
  void CopyIntoEmpty(const BindingProperty& source);
  void CopyScalar(const BindingProperty& source);
  // An empty container of `source`'s kind, with room for its elements.
  void OpenCopy(const BindingProperty& source);
  // A new Empty child of this container, for the child of `source` at `at`.
  BindingProperty& AddChildFor(const Cursor<const BindingProperty>& at);
  void TakeValue(BindingProperty& source);
  // The member of this Structure under `entry`, a reference the map keeps.
  BindingProperty& EmplaceMember(InternedString* entry);
  void StoreString(InternedString* entry);
  BindingProperty& AppendElements(std::size_t count);
  bool VisitScalar(BindingPropertyVisitor& visitor) const;
  bool BeginContainer(BindingPropertyVisitor& visitor) const;
  bool EndContainer(BindingPropertyVisitor& visitor) const;

  Payload payload{0};
  PropertyArena* arena = nullptr;
  BindingPropertyKind kind = BindingPropertyKind::Empty;
  uint8_t ownsArena = 1;
};

static_assert(sizeof(void*) == 8 ? sizeof(BindingProperty) == 24 : sizeof(BindingProperty) == 16,
              "a property is an 8-byte payload, a pointer and two bytes");

namespace internal {

// Byte-wise unsigned order of two texts. Keys mostly differ in their first
// byte, which is compared in place; only keys with a common beginning pay
// for a call to memcmp.
inline bool KeyTextLess(std::string_view a, std::string_view b) {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  if (common != 0 && a[0] != b[0]) {
    return static_cast<unsigned char>(a[0]) < static_cast<unsigned char>(b[0]);
  }
  const int order = common != 0 ? std::memcmp(a.data(), b.data(), common) : 0;
  return order != 0 ? order < 0 : a.size() < b.size();
}

// Byte-wise unsigned order of member keys, also against plain text so that
// lookups need no entry. Keys of one tree are interned, so one entry is one
// text and equal entries need no comparison.
struct MemberKeyLess {
  using is_transparent = void;
  bool operator()(const InternedString* a, const InternedString* b) const {
    return a != b && KeyTextLess(a->Text(), b->Text());
  }
  bool operator()(const InternedString* a, std::string_view b) const {
    return KeyTextLess(a->Text(), b);
  }
  bool operator()(std::string_view a, const InternedString* b) const {
    return KeyTextLess(a, b->Text());
  }
};

using Member = std::pair<InternedString* const, BindingProperty>;

// The allocator of member maps: destroying a member also drops its key's
// reference, so that releasing a structure walks its members once.
template <typename T>
class MemberAllocator : public ArenaAllocator<T> {
 public:
  explicit MemberAllocator(PropertyArena* owner) noexcept : ArenaAllocator<T>(owner) {}
  template <typename U>
  MemberAllocator(const MemberAllocator<U>& other) noexcept : ArenaAllocator<T>(other) {}

  template <typename U>
  void destroy(U* object) {
    if constexpr (std::is_same_v<U, Member>) this->arena->Unref(object->first);
    object->~U();
  }
};

using MemberMap =
    std::map<InternedString*, BindingProperty, MemberKeyLess, MemberAllocator<Member>>;

}  // namespace internal

// The cell of a Structure: its allocator handle, tree head and member count.
struct BindingProperty::StructureCell {
  explicit StructureCell(PropertyArena* treeArena)
      : members(internal::MemberKeyLess(), internal::MemberAllocator<internal::Member>(treeArena)) {
  }
  internal::MemberMap members;
};

// A position among the members of a Structure.
class BindingMemberIterator {
 public:
  struct Entry {
    const std::string& key;
    const BindingProperty& value;
  };

  BindingMemberIterator() = default;
  explicit BindingMemberIterator(internal::MemberMap::const_iterator at) : position(at) {}

  const std::string& Key() const { return position->first->Text(); }
  const BindingProperty& Value() const { return position->second; }
  Entry operator*() const { return {Key(), Value()}; }
  BindingMemberIterator& operator++() {
    ++position;
    return *this;
  }
  bool operator==(const BindingMemberIterator& other) const { return position == other.position; }

 private:
  internal::MemberMap::const_iterator position;
};

// The members of a Structure, for range-for:
//   for (auto [key, value] : property.Members()) ...
class BindingMemberRange {
 public:
  BindingMemberIterator begin() const { return first; }
  BindingMemberIterator end() const { return last; }

 private:
  friend class BindingProperty;
  BindingMemberRange() = default;
  BindingMemberRange(BindingMemberIterator from, BindingMemberIterator to)
      : first(from), last(to) {}
  BindingMemberIterator first;
  BindingMemberIterator last;
};

inline BindingMemberRange BindingProperty::Members() const {
  if (kind != BindingPropertyKind::Structure) return {};
  const internal::MemberMap& members = payload.structure->members;
  return {BindingMemberIterator(members.begin()), BindingMemberIterator(members.end())};
}

}  // namespace Halden
