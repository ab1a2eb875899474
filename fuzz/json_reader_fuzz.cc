// Feeds arbitrary bytes to the JSON reader: every input must end either in a
// document or in a json::Exception, and a document read must copy equal.
#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/json_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The reader takes NUL-terminated text; std::string supplies the NUL.
  const std::string text(reinterpret_cast<const char*>(data), size);
  Halden::json::Element document;
  try {
    Halden::json::Reader::Read(text.c_str(), document);
  } catch (const Halden::json::Exception&) {
    return 0;
  }
  const Halden::json::Element copy = document;
  if (!(copy == document)) __builtin_trap();
  return 0;
}
