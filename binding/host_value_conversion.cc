#include "binding/host_value_conversion.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "binding/registry.h"
#include "util/format.h"

namespace Halden {
namespace {

bool FailIncompatible(JsonApiResponse* errorRecord, const std::string& memberName, int32_t kind) {
  if (errorRecord == nullptr) return false;
  ReleaseHostValue(errorRecord->body);
  const std::string message = IncompatibleHostValueMessage(memberName, kind);
  char* text = new char[message.size() + 1];
  std::memcpy(text, message.c_str(), message.size() + 1);
  errorRecord->errorText = text;
  errorRecord->errorFlag = 1;
  return false;
}

// `depth` counts the containers around `value`.
bool FromHost(const HostValue& value, BindingProperty& out, const std::string& memberName,
              JsonApiResponse* errorRecord, int depth) {
  switch (value.kind) {
    case kHostNone:
      out.Reset();
      return true;
    case kHostBool:
      out.SetBool(value.boolean != 0);
      return true;
    case kHostSigned:
      out.SetSigned(value.signedValue);
      return true;
    case kHostUnsigned:
      out.SetUnsigned(value.unsignedValue);
      return true;
    case kHostFloat:
      out.SetFloat(value.floatValue);
      return true;
    case kHostStringBorrowed:
    case kHostStringOwned:
      out.SetString(value.text.data);
      return true;
    case kHostBlobBorrowed:
    case kHostBlobOwned: {
      const uint8_t* data = value.blob.data;
      if (data == nullptr) {
        out.SetBlob(std::vector<uint8_t>());
      } else {
        out.SetBlob(std::vector<uint8_t>(data, data + value.blob.length));
      }
      return true;
    }
    case kHostCollection: {
      if (depth >= kMaxHostValueNesting)
        return FailIncompatible(errorRecord, memberName, value.kind);
      out.Reset();
      out.MakeCollection();
      const HostValue* elements = value.collection.elements;
      if (elements == nullptr) return true;
      const uint32_t count = value.collection.count;
      out.Reserve(count);
      for (uint32_t i = 0; i < count; ++i) {
        if (!FromHost(elements[i], out.At(i), memberName, errorRecord, depth + 1)) return false;
      }
      return true;
    }
    case kHostStructure: {
      if (depth >= kMaxHostValueNesting)
        return FailIncompatible(errorRecord, memberName, value.kind);
      out.Reset();
      out.MakeStructure();
      const HostMemberEntry* entries = value.structure.entries;
      if (entries == nullptr) return true;
      const uint32_t count = value.structure.count;
      for (uint32_t i = 0; i < count; ++i) {
        const HostMemberEntry& entry = entries[i];
        BindingProperty& member = out.Member(entry.key != nullptr ? entry.key : "");
        if (!FromHost(entry.value, member, memberName, errorRecord, depth + 1)) return false;
      }
      return true;
    }
    default:
      return FailIncompatible(errorRecord, memberName, value.kind);
  }
}

// FromHost's walk without the building.
const HostValue* FindUnconvertible(const HostValue& value, int depth);

// A leaf is checked where it lies: most of a tree is leaves.
inline const HostValue* FindUnconvertibleItem(const HostValue& item, int depth) {
  if (item.kind == kHostCollection || item.kind == kHostStructure) {
    return FindUnconvertible(item, depth);
  }
  return item.kind >= kHostNone && item.kind <= kHostStructure ? nullptr : &item;
}

const HostValue* FindUnconvertible(const HostValue& value, int depth) {
  if (depth >= kMaxHostValueNesting) return &value;
  if (value.kind == kHostCollection) {
    if (value.collection.elements == nullptr) return nullptr;
    for (uint32_t i = 0; i < value.collection.count; ++i) {
      const HostValue* refused = FindUnconvertibleItem(value.collection.elements[i], depth + 1);
      if (refused != nullptr) return refused;
    }
    return nullptr;
  }
  if (value.structure.entries == nullptr) return nullptr;
  for (uint32_t i = 0; i < value.structure.count; ++i) {
    const HostValue* refused = FindUnconvertibleItem(value.structure.entries[i].value, depth + 1);
    if (refused != nullptr) return refused;
  }
  return nullptr;
}

char* CopyText(const std::string& text) {
  char* copy = new char[text.size() + 1];
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

void SetText(HostValue& out, const std::string& text) {
  out.text.data = CopyText(text);
  out.text.length = static_cast<uint32_t>(text.size());
  out.kind = kHostStringOwned;
}

// Every array is linked into `out` with its count before its items are
// filled, and is zero-filled, so a failure or an exception leaves a tree
// that ReleaseHostValue frees.
bool ToHost(const BindingProperty& property, HostValue& out, const BindingRegistry* registry,
            int depth) {
  std::memset(static_cast<void*>(&out), 0, sizeof out);
  switch (property.GetKind()) {
    case BindingPropertyKind::Empty:
      return true;
    case BindingPropertyKind::Bool:
      out.boolean = property.GetBool() ? 1 : 0;
      out.kind = kHostBool;
      return true;
    case BindingPropertyKind::Signed:
      out.signedValue = property.GetSigned();
      out.kind = kHostSigned;
      return true;
    case BindingPropertyKind::Unsigned:
      out.unsignedValue = property.GetUnsigned();
      out.kind = kHostUnsigned;
      return true;
    case BindingPropertyKind::Float:
      out.floatValue = property.GetFloat();
      out.kind = kHostFloat;
      return true;
    case BindingPropertyKind::String:
      SetText(out, property.GetString());
      return true;
    case BindingPropertyKind::Blob: {
      const std::vector<uint8_t>& bytes = property.GetBlob();
      if (!bytes.empty()) {
        uint8_t* copy = new uint8_t[bytes.size()];
        std::memcpy(copy, bytes.data(), bytes.size());
        out.blob.data = copy;
        out.blob.length = static_cast<uint32_t>(bytes.size());
      }
      out.kind = kHostBlobOwned;
      return true;
    }
    case BindingPropertyKind::Enum: {
      const EnumValue& value = property.GetEnum();
      const std::string* name =
          registry != nullptr ? registry->EnumeratorName(value.type, value.value) : nullptr;
      if (name != nullptr) {
        SetText(out, *name);
      } else {
        out.signedValue = value.value;
        out.kind = kHostSigned;
      }
      return true;
    }
    case BindingPropertyKind::Collection: {
      if (depth >= kMaxHostValueNesting) return false;
      const uint32_t count = property.Size();
      out.kind = kHostCollection;
      if (count == 0) return true;
      out.collection.elements = new HostValue[count]();
      out.collection.count = count;
      for (uint32_t i = 0; i < count; ++i) {
        if (!ToHost(property.Element(i), out.collection.elements[i], registry, depth + 1)) {
          return false;
        }
      }
      return true;
    }
    case BindingPropertyKind::Structure: {
      if (depth >= kMaxHostValueNesting) return false;
      const uint32_t count = property.Size();
      out.kind = kHostStructure;
      if (count == 0) return true;
      HostMemberEntry* entries = new HostMemberEntry[count]();
      out.structure.entries = entries;
      out.structure.count = count;
      uint32_t i = 0;
      for (const auto [key, child] : property.Members()) {
        HostMemberEntry& entry = entries[i++];
        entry.key = CopyText(key);
        entry.keyOwned = 1;
        if (!ToHost(child, entry.value, registry, depth + 1)) return false;
      }
      return true;
    }
  }
  return false;
}

}  // namespace

bool HostValueToProperty(const HostValue& value, BindingProperty& out,
                         const std::string& memberName, JsonApiResponse* errorRecord) {
  return FromHost(value, out, memberName, errorRecord, 0);
}

const HostValue* FindUnconvertibleHostValue(const HostValue& value) {
  return FindUnconvertibleItem(value, 0);
}

std::string IncompatibleHostValueMessage(const std::string& memberName, int32_t kind) {
  return FormatMessage(
      "Couldn't assign value to '%1' of type object because the input is of an incompatible "
      "type '%2'.",
      memberName, HostKindName(kind));
}

bool PropertyToHostValueBelow(const BindingProperty& property, HostValue& out,
                              const BindingRegistry* registry, int depth) {
  return ToHost(property, out, registry, depth);
}

char* CopyHostText(const char* text, uint32_t* length) {
  const std::size_t size = std::strlen(text);
  char* copy = new char[size + 1];
  std::memcpy(copy, text, size + 1);
  if (length != nullptr) *length = static_cast<uint32_t>(size);
  return copy;
}

bool PropertyToHostValue(const BindingProperty& property, HostValue& out,
                         const BindingRegistry* registry) {
  try {
    if (ToHost(property, out, registry, 0)) return true;
  } catch (...) {
    ReleaseHostValue(out);
    throw;
  }
  ReleaseHostValue(out);
  return false;
}

}  // namespace Halden
