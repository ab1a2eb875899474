#include "formats/host_value_to_json.h"

#include <cmath>
#include <span>
#include <string_view>

#include "binding/base64.h"
#include "binding/host_value_conversion.h"
#include "formats/internal/json_text.h"
#include "formats/property_to_json.h"

namespace Halden {
namespace {

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

std::string_view KeyOf(const HostMemberEntry& entry) {
  return entry.key != nullptr ? std::string_view(entry.key) : std::string_view();
}

// Whether every structure's keys are strictly in key order: a property
// would merge repeated keys and sort the others. The tree is one that
// converts, so it nests no deeper than a host value may.
bool KeysInOrder(const HostValue& value) {
  if (value.kind == kHostCollection && value.collection.elements != nullptr) {
    for (uint32_t i = 0; i < value.collection.count; ++i) {
      if (!KeysInOrder(value.collection.elements[i])) return false;
    }
  } else if (value.kind == kHostStructure && value.structure.entries != nullptr) {
    for (uint32_t i = 0; i < value.structure.count; ++i) {
      const HostMemberEntry& entry = value.structure.entries[i];
      if ((i > 0 && !internal::KeyTextLess(KeyOf(value.structure.entries[i - 1]), KeyOf(entry))) ||
          !KeysInOrder(entry.value)) {
        return false;
      }
    }
  }
  return true;
}

void Text(Writer& writer, const char* text) {
  internal::WriteJsonText(writer, text != nullptr ? std::string_view(text) : std::string_view());
}

// The writes of PropertyToJson's walk, in the same order.
void Write(Writer& writer, const HostValue& value) {
  switch (value.kind) {
    case kHostBool:
      writer.Bool(value.boolean != 0);
      return;
    case kHostSigned:
      writer.Int64(value.signedValue);
      return;
    case kHostUnsigned:
      writer.Uint64(value.unsignedValue);
      return;
    case kHostFloat:
      if (std::isfinite(value.floatValue)) {
        writer.Double(value.floatValue);
      } else {
        writer.Null();
      }
      return;
    case kHostStringBorrowed:
    case kHostStringOwned:
      Text(writer, value.text.data);
      return;
    case kHostBlobBorrowed:
    case kHostBlobOwned: {
      const std::string text = Base64Encode(
          value.blob.data != nullptr ? std::span<const uint8_t>(value.blob.data, value.blob.length)
                                     : std::span<const uint8_t>());
      internal::WriteJsonText(writer, text);
      return;
    }
    case kHostCollection:
      writer.StartArray();
      for (uint32_t i = 0; value.collection.elements != nullptr && i < value.collection.count;
           ++i) {
        Write(writer, value.collection.elements[i]);
      }
      writer.EndArray();
      return;
    case kHostStructure:
      writer.StartObject();
      for (uint32_t i = 0; value.structure.entries != nullptr && i < value.structure.count; ++i) {
        const HostMemberEntry& entry = value.structure.entries[i];
        const std::string_view key = KeyOf(entry);
        internal::WriteJsonText(writer, key, true);
        Write(writer, entry.value);
      }
      writer.EndObject();
      return;
    default:
      writer.Null();
      return;
  }
}

}  // namespace

bool HostValueToJson(const HostValue& value, std::string& json) {
  json.clear();
  if (FindUnconvertibleHostValue(value) != nullptr) return false;
  if (value.kind == kHostNone) return true;
  if (!KeysInOrder(value)) {
    BindingProperty property;
    HostValueToProperty(value, property, "<value>", nullptr);
    json = PropertyToJson(property, nullptr, nullptr);
    return true;
  }
  rapidjson::StringBuffer buffer;
  Writer writer(buffer);
  Write(writer, value);
  json.assign(buffer.GetString(), buffer.GetSize());
  return true;
}

}  // namespace Halden
