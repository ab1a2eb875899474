// Decodes arbitrary bytes as a parameter value. The first byte chooses the
// content type (and whether the format may be guessed), the rest is the
// value. The decoded value must write as JSON that reads back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/json_to_property.h"
#include "formats/parameter_value.h"
#include "formats/property_to_json.h"

namespace {

const char* const kContentTypes[] = {
    "",
    "application/x-msgpack",
    "Application/JSON; charset=utf-8",
    "text/x-yaml",
    "application/octet-stream",
    "text/plain",
};
constexpr std::size_t kContentTypeCount = sizeof(kContentTypes) / sizeof(kContentTypes[0]);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string contentType = kContentTypes[data[0] % kContentTypeCount];
  const bool allowGuessing = (data[0] & 0x80) != 0;
  const std::string value(reinterpret_cast<const char*>(data + 1), size - 1);
  Halden::BindingProperty target;
  Halden::BindingResult call;
  Halden::DecodeParameterValue(target, call, "Fuzz", "value", value, contentType, allowGuessing);
  const std::string json = Halden::PropertyToJson(call.Ok() ? target : call, nullptr, "");
  if (!Halden::JsonToProperty(json.c_str()).Ok()) __builtin_trap();
  return 0;
}
