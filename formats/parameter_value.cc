#include "formats/parameter_value.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/message_pack_reader.h"
#include "formats/content_type.h"
#include "formats/json_to_property.h"
#include "formats/yaml_to_property.h"
#include "util/format.h"

namespace Halden {
namespace {

const uint8_t* Bytes(const std::string& value) {
  return reinterpret_cast<const uint8_t*>(value.data());
}

// The reader takes 32-bit sizes; it never needs more than the first value.
uint32_t ByteCount(const std::string& value) {
  return static_cast<uint32_t>(
      std::min<std::size_t>(value.size(), std::numeric_limits<uint32_t>::max()));
}

BodyFormat Guess(const std::string& value) {
  if (LooksLikeMessagePack(Bytes(value), ByteCount(value))) return BodyFormat::MessagePack;
  std::string_view text(value);
  text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
  if (text.starts_with('{') || text.starts_with('[')) return BodyFormat::Json;
  if (text.starts_with("---")) return BodyFormat::Yaml;
  return BodyFormat::Text;
}

}  // namespace

void DecodeParameterValue(BindingProperty& target, BindingResult& callResult,
                          const std::string& functionName, const std::string& parameterName,
                          const std::string& value, const std::string& contentType,
                          bool allowGuessing, InputQuoting quoting) {
  const BodyFormat format =
      allowGuessing && contentType.empty() ? Guess(value) : ParameterValueFormat(contentType);
  BindingResult decoded;
  const char* failure = nullptr;
  switch (format) {
    case BodyFormat::MessagePack: {
      uint32_t position = 0;
      decoded = ReadMessagePack(Bytes(value), ByteCount(value), position);
      failure = "Couldn't deserialize MessagePack value for parameter '%1' of '%2': %3";
      break;
    }
    case BodyFormat::Json:
      decoded = JsonToProperty(value.c_str());
      failure = "Couldn't deserialize JSON value for parameter '%1' of '%2': %3";
      break;
    case BodyFormat::Yaml:
      decoded = YamlToProperty(value.data(), value.size(), quoting);
      failure = "Couldn't deserialize YAML value for parameter '%1' of '%2': %3";
      break;
    case BodyFormat::Blob:
      decoded.SetBlob(std::vector<uint8_t>(value.begin(), value.end()));
      break;
    default:
      // Text needs no decoding, and no tree of its own first.
      target.SetString(std::string(value));
      return;
  }
  if (!decoded.Ok()) {
    callResult.SetError(FormatMessage(failure, parameterName, functionName, decoded.Error()));
    return;
  }
  target = std::move(static_cast<BindingProperty&>(decoded));
}

}  // namespace Halden
