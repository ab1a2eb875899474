// Feeds arbitrary bytes to the YAML reader. Every input must end in a tree
// or an error; a tree read must write as JSON that reads back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/json_to_property.h"
#include "formats/property_to_json.h"
#include "formats/yaml_to_property.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Halden::BindingResult read =
      Halden::YamlToProperty(reinterpret_cast<const char*>(data), size);
  if (!read.Ok()) return 0;
  const std::string json = Halden::PropertyToJson(read, nullptr, "\n");
  if (!Halden::JsonToProperty(json.c_str()).Ok()) __builtin_trap();
  return 0;
}
