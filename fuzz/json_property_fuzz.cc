// Feeds arbitrary text to the JSON reader for property trees. Every input
// must give the recursive parser's verdict (within the nesting limit), and a
// tree read, written and read again must write the same text, compact and
// pretty; except that the writer writes NaN and infinities as null, which
// reads back as Empty, so a lone non-finite number writes no text the second
// time. Where the host tree reader takes the text, its tree reads as the
// same property.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "binding/host_value_conversion.h"
#include "formats/internal/rapidjson.h"
#include "formats/json_host_tree.h"
#include "formats/json_to_property.h"
#include "formats/property_to_json.h"
#include "tests/binding/conversion_test_support.h"

namespace {

// Inputs up to this size are also parsed by the recursive parser, whose
// stack use follows the nesting.
constexpr std::size_t kCompareLimit = 4096;

std::string RecursiveParserMessage(const char* text) {
  rapidjson::Reader reader;
  rapidjson::StringStream stream(text);
  rapidjson::BaseReaderHandler<> handler;
  // Numbers as text, as the reader takes them: the errors are the same, and
  // the parser's own number conversion overflows on some exponents.
  const rapidjson::ParseResult parsed =
      reader.Parse<rapidjson::kParseNumbersAsStringsFlag>(stream, handler);
  if (!parsed.IsError() || parsed.Code() == rapidjson::kParseErrorDocumentEmpty) return "";
  return std::string("Error: ") + rapidjson::GetParseError_En(parsed.Code()) + " at offset " +
         std::to_string(parsed.Offset()) + ".";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The reader takes NUL-terminated text; std::string supplies the NUL.
  const std::string text(reinterpret_cast<const char*>(data), size);
  const Halden::BindingResult read = Halden::JsonToProperty(text.c_str());
  if (size <= kCompareLimit && read.Error().find("Nesting is deeper") == std::string::npos &&
      read.Error() != RecursiveParserMessage(text.c_str())) {
    __builtin_trap();
  }
  Halden::JsonHostTree hostTree;
  if (hostTree.Read(reinterpret_cast<const char*>(data), size)) {
    Halden::BindingProperty fromHost;
    if (!read.Ok() || !Halden::HostValueToProperty(hostTree.Root(), fromHost, "<body>", nullptr) ||
        Halden::binding_test::Describe(fromHost) != Halden::binding_test::Describe(read)) {
      __builtin_trap();
    }
  }
  const bool nonFinite =
      read.GetKind() == Halden::BindingPropertyKind::Float && !std::isfinite(read.GetFloat());
  for (const char* lineBreak : {"", "\r\n"}) {
    const std::string first = Halden::PropertyToJson(read, nullptr, lineBreak);
    const Halden::BindingResult again = Halden::JsonToProperty(first.c_str());
    if (!again.Ok()) __builtin_trap();
    if (Halden::PropertyToJson(again, nullptr, lineBreak) != (nonFinite ? "" : first)) {
      __builtin_trap();
    }
  }
  return 0;
}
