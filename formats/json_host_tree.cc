#include "formats/json_host_tree.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "formats/internal/rapidjson.h"
#include "formats/json_number.h"
#include "formats/json_to_property.h"

namespace Halden {
namespace {

HostValue MakeValue(int32_t kind) {
  HostValue value;
  std::memset(static_cast<void*>(&value), 0, sizeof value);
  value.kind = kind;
  return value;
}

// RapidJSON's allocator over the tree's memory, for the parser's stack (which
// grows by Realloc alone): a read makes no heap call of its own, and the
// stack goes with the tree.
class TreeStackAllocator {
 public:
  explicit TreeStackAllocator(std::pmr::memory_resource* memory = nullptr) : memory(memory) {}
  void* Realloc(void* old, std::size_t oldSize, std::size_t newSize) {
    if (newSize <= oldSize) return old;
    void* grown = memory->allocate(newSize);
    if (oldSize != 0) std::memcpy(grown, old, oldSize);
    return grown;
  }
  static void Free(void*) {}

 private:
  std::pmr::memory_resource* memory;
};

// Builds the tree from the parser's events: values wait on a stack until
// their container closes, which moves them into an array of its own. The
// parser reads in place, so texts and keys stay in the copy of the text,
// terminated.
class HostTreeHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, HostTreeHandler> {
 public:
  // Room for a small body's values from the start, so that they are not
  // copied as the stacks grow.
  explicit HostTreeHandler(std::pmr::memory_resource* memory)
      : memory(memory), values(memory), keys(memory) {
    values.reserve(kInitialStack);
    keys.reserve(kInitialStack);
  }

  const HostValue& Top() const { return values.back(); }

  bool Null() {
    values.push_back(MakeValue(kHostNone));
    return true;
  }
  bool Bool(bool flag) {
    values.push_back(MakeValue(kHostBool));
    values.back().boolean = flag ? 1 : 0;
    return true;
  }
  bool RawNumber(const char* text, rapidjson::SizeType length, bool) {
    const json_internal::JsonNumber number =
        json_internal::ReadJsonNumber(std::string_view(text, length));
    switch (number.kind) {
      case json_internal::JsonNumber::Kind::Signed:
        values.push_back(MakeValue(kHostSigned));
        values.back().signedValue = number.signedValue;
        break;
      case json_internal::JsonNumber::Kind::Unsigned:
        values.push_back(MakeValue(kHostUnsigned));
        values.back().unsignedValue = number.unsignedValue;
        break;
      case json_internal::JsonNumber::Kind::Float:
        values.push_back(MakeValue(kHostFloat));
        values.back().floatValue = number.floatValue;
        break;
    }
    return true;
  }
  // A text ends at its first NUL, as a property's does.
  bool String(const char* text, rapidjson::SizeType, bool) {
    values.push_back(MakeValue(kHostStringBorrowed));
    values.back().text = {text, static_cast<uint32_t>(std::strlen(text))};
    return true;
  }
  bool Key(const char* text, rapidjson::SizeType, bool) {
    keys.push_back(text);
    return true;
  }
  bool StartObject() { return Open(); }
  bool EndObject(rapidjson::SizeType count) {
    if (count > JsonHostTree::kMaxMembers) return false;
    const std::size_t first = keys.size() - count;
    for (std::size_t i = first; i < keys.size(); ++i) {
      for (std::size_t j = i + 1; j < keys.size(); ++j) {
        if (std::strcmp(keys[i], keys[j]) == 0) return false;
      }
    }
    HostValue container = MakeValue(kHostStructure);
    if (count != 0) {
      auto* entries = static_cast<HostMemberEntry*>(
          memory->allocate(count * sizeof(HostMemberEntry), alignof(HostMemberEntry)));
      for (uint32_t m = 0; m < count; ++m) {
        entries[m].key = keys[first + m];
        entries[m].value = values[values.size() - count + m];
        entries[m].keyOwned = 0;
      }
      container.structure = {entries, count};
    }
    keys.resize(first);
    return Close(container, count);
  }
  bool StartArray() { return Open(); }
  bool EndArray(rapidjson::SizeType count) {
    HostValue container = MakeValue(kHostCollection);
    if (count != 0) {
      auto* elements =
          static_cast<HostValue*>(memory->allocate(count * sizeof(HostValue), alignof(HostValue)));
      std::memcpy(static_cast<void*>(elements), &values[values.size() - count],
                  count * sizeof(HostValue));
      container.collection = {elements, count};
    }
    return Close(container, count);
  }

 private:
  bool Open() {
    if (depth == kMaxJsonNesting) return false;
    ++depth;
    return true;
  }
  bool Close(const HostValue& container, uint32_t count) {
    --depth;
    values.resize(values.size() - count);
    values.push_back(container);
    return true;
  }

  static constexpr std::size_t kInitialStack = 16;

  std::pmr::memory_resource* memory;
  std::pmr::vector<HostValue> values;
  std::pmr::vector<const char*> keys;
  uint32_t depth = 0;
};

}  // namespace

JsonHostTree::JsonHostTree() : memory(initial, sizeof initial), root(MakeValue(kHostNone)) {}

bool JsonHostTree::Read(const char* bytes, std::size_t length) {
  root = MakeValue(kHostNone);
  const std::size_t size = bytes != nullptr ? strnlen(bytes, length) : 0;
  char* text = static_cast<char*>(memory.allocate(size + 1, 1));
  if (size != 0) std::memcpy(text, bytes, size);
  text[size] = '\0';

  HostTreeHandler handler(&memory);
  TreeStackAllocator stackMemory(&memory);
  rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, TreeStackAllocator> reader(
      &stackMemory);
  rapidjson::InsituStringStream stream(text);
  // The flags of JsonToProperty, reading in place.
  constexpr unsigned kFlags = rapidjson::kParseIterativeFlag |
                              rapidjson::kParseNumbersAsStringsFlag | rapidjson::kParseInsituFlag;
  if (reader.Parse<kFlags>(stream, handler).IsError()) return false;
  root = handler.Top();
  return true;
}

}  // namespace Halden
