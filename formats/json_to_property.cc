#include "formats/json_to_property.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <system_error>
#include <vector>

#include "formats/internal/rapidjson.h"
#include "util/format.h"

namespace Halden {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The exponent of ten of the number's first significant digit, saturated:
// tells an overflow from an underflow.
int64_t DecimalMagnitude(std::string_view number) {
  constexpr int64_t kSaturation = int64_t{1} << 40;
  std::size_t i = number.starts_with('-') ? 1 : 0;
  int64_t magnitude = 0;
  bool significant = false;
  for (; i < number.size() && IsDigit(number[i]); ++i) {
    significant = significant || number[i] != '0';
    if (significant) magnitude = std::min(magnitude + 1, kSaturation);
  }
  if (i < number.size() && number[i] == '.') {
    for (++i; i < number.size() && IsDigit(number[i]); ++i) {
      significant = significant || number[i] != '0';
      if (!significant) magnitude = std::max(magnitude - 1, -kSaturation);
    }
  }
  if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
    ++i;
    const bool negative = number[i] == '-';
    if (number[i] == '-' || number[i] == '+') ++i;
    int64_t exponent = 0;
    for (; i < number.size(); ++i) {
      exponent = std::min(exponent * 10 + (number[i] - '0'), kSaturation);
    }
    magnitude += negative ? -exponent : exponent;
  }
  return magnitude;
}

// Stores a number the parser has checked against the JSON grammar: integers
// within 64 bits exactly, everything else as the nearest double.
void SetNumber(BindingProperty& target, std::string_view number) {
  const char* first = number.data();
  const char* last = first + number.size();
  // A plain loop: find_first_of would look each byte up in the set, and
  // documents hold many numbers.
  if (std::none_of(number.begin(), number.end(),
                   [](char c) { return c == '.' || c == 'e' || c == 'E'; })) {
    const bool negative = number.starts_with('-');
    uint64_t magnitude = 0;
    if (std::from_chars(first + (negative ? 1 : 0), last, magnitude).ec == std::errc()) {
      constexpr uint64_t kLowest = uint64_t{1} << 63;
      if (!negative) {
        target.SetUnsigned(magnitude);
        return;
      }
      if (magnitude <= kLowest) {
        target.SetSigned(magnitude == kLowest ? std::numeric_limits<int64_t>::min()
                                              : -static_cast<int64_t>(magnitude));
        return;
      }
    }
  }
  double value = 0;
  if (std::from_chars(first, last, value).ec == std::errc::result_out_of_range) {
    value = DecimalMagnitude(number) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    if (number.starts_with('-')) value = -value;
  }
  target.SetFloat(value);
}

// Fills a property from the parser's events. Containers stay open on a stack
// of pointers: an open container is never moved, because elements are only
// appended to the innermost one.
class PropertyHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, PropertyHandler> {
 public:
  explicit PropertyHandler(BindingProperty& root) : target(&root) {}

  bool TooDeep() const { return tooDeep; }

  bool Null() {
    Next();
    return true;
  }
  bool Bool(bool value) {
    Next().SetBool(value);
    return true;
  }
  bool RawNumber(const char* text, rapidjson::SizeType length, bool) {
    SetNumber(Next(), std::string_view(text, length));
    return true;
  }
  // The parser terminates every string, so the text ends at the first NUL.
  bool String(const char* text, rapidjson::SizeType, bool) {
    Next().SetString(text);
    return true;
  }
  bool Key(const char* text, rapidjson::SizeType, bool) {
    target = &open.back()->Member(text);
    return true;
  }
  bool StartObject() { return Open(BindingPropertyKind::Structure); }
  bool EndObject(rapidjson::SizeType) {
    open.pop_back();
    return true;
  }
  bool StartArray() { return Open(BindingPropertyKind::Collection); }
  bool EndArray(rapidjson::SizeType) {
    open.pop_back();
    return true;
  }

 private:
  // The property that receives the next value: a new element inside an
  // array, otherwise the member named last (or the root).
  BindingProperty& Next() {
    if (!open.empty() && open.back()->GetKind() == BindingPropertyKind::Collection) {
      target = &open.back()->Append();
    }
    return *target;
  }

  // A container already of that kind keeps its content (repeated names).
  // Refusing the level too deep stops the parse.
  bool Open(BindingPropertyKind kind) {
    if (open.size() == kMaxJsonNesting) {
      tooDeep = true;
      return false;
    }
    BindingProperty& container = Next();
    if (kind == BindingPropertyKind::Structure) {
      container.MakeStructure();
    } else {
      container.MakeCollection();
    }
    open.push_back(&container);
    return true;
  }

  BindingProperty* target;
  std::vector<BindingProperty*> open;
  bool tooDeep = false;
};

}  // namespace

BindingResult JsonToProperty(const char* text) {
  BindingResult result;
  if (text == nullptr) return result;
  const char* start = text;
  while (*start == ' ' || *start == '\n' || *start == '\r' || *start == '\t') ++start;
  if (*start == '\0') return result;

  PropertyHandler handler(result);
  rapidjson::Reader reader;
  rapidjson::StringStream stream(text);
  // The iterative parser keeps its state on the heap rather than recursing
  // per nesting level; it reports the same errors at the same offsets.
  // Numbers come as their text: the parser's own conversion reads past its
  // table of powers of ten for a long fraction with an exponent near the int
  // limit ("0.00000000001e-2147483639"), and is not correctly rounded.
  const rapidjson::ParseResult parsed =
      reader.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag>(stream,
                                                                                           handler);
  if (parsed.IsError()) {
    // The text is not blank, so "empty" means the iterative parser met a
    // closing bracket, comma or colon where the value should begin, which the
    // recursive parser calls an invalid value.
    const rapidjson::ParseErrorCode code = parsed.Code() == rapidjson::kParseErrorDocumentEmpty
                                               ? rapidjson::kParseErrorValueInvalid
                                               : parsed.Code();
    const char* reason = handler.TooDeep() ? "Nesting is deeper than 512 levels."
                                           : rapidjson::GetParseError_En(code);
    result.SetError(FormatMessage("Error: %s at offset %u.", reason, parsed.Offset()));
  }
  return result;
}

}  // namespace Halden
