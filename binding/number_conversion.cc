#include "binding/number_conversion.h"

#include <cctype>
#include <charconv>
#include <cstddef>
#include <limits>
#include <system_error>

#include "util/format.h"

namespace Halden {
namespace {

constexpr const char* kIncorrectFormat = "Value %1 for '%2' of type %3 is in an incorrect format";
constexpr const char* kOutOfRange = "Value %1 for '%2' of type %3 is out of range";

// The blanks of the C locale's isspace, which the standard text-to-number
// routines skip.
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 36;
}

struct WholeNumber {
  bool complete = false;  // nothing but the number in the text
  bool negative = false;
  bool overflow = false;  // the magnitude exceeds 64 bits
  uint64_t magnitude = 0;
};

// The syntax of strtoull with base 0: a text without digits converts
// nothing, so only the empty text counts as complete.
WholeNumber ParseWholeNumber(std::string_view text) {
  WholeNumber number;
  std::size_t i = 0;
  const std::size_t size = text.size();
  while (i < size && IsBlank(text[i])) ++i;
  if (i < size && (text[i] == '+' || text[i] == '-')) {
    number.negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < size && text[i] == '0') {
    base = 8;
    if (i + 2 < size && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        DigitValue(text[i + 2]) < 16) {
      base = 16;
      i += 2;
    }
  }
  const std::size_t firstDigit = i;
  for (; i < size && DigitValue(text[i]) < base; ++i) {
    const auto digit = static_cast<uint64_t>(DigitValue(text[i]));
    if (number.magnitude > (std::numeric_limits<uint64_t>::max() - digit) / base) {
      number.overflow = true;
    } else {
      number.magnitude = number.magnitude * base + digit;
    }
  }
  if (i == firstDigit) {
    number = WholeNumber();
    number.complete = text.empty();
    return number;
  }
  number.complete = i == size;
  return number;
}

bool Fail(BindingResult& result, const char* message, std::string_view text,
          const std::string& memberName, const char* typeName) {
  result.SetError(FormatMessage(message, text, memberName, typeName));
  return false;
}

}  // namespace

bool ParseSignedText(BindingResult& result, std::string_view text, const std::string& memberName,
                     const char* typeName, int64_t minimum, int64_t maximum, int64_t& out) {
  const WholeNumber number = ParseWholeNumber(text);
  if (!number.complete) return Fail(result, kIncorrectFormat, text, memberName, typeName);
  // The magnitude of the most negative value is one more than the largest.
  constexpr uint64_t kLargest = std::numeric_limits<int64_t>::max();
  if (number.overflow || number.magnitude > kLargest + (number.negative ? 1 : 0)) {
    return Fail(result, kOutOfRange, text, memberName, typeName);
  }
  int64_t value;
  if (!number.negative) {
    value = static_cast<int64_t>(number.magnitude);
  } else if (number.magnitude > kLargest) {
    value = std::numeric_limits<int64_t>::min();
  } else {
    value = -static_cast<int64_t>(number.magnitude);
  }
  if (value < minimum || value > maximum) {
    return Fail(result, kOutOfRange, text, memberName, typeName);
  }
  out = value;
  return true;
}

bool ParseUnsignedText(BindingResult& result, std::string_view text, const std::string& memberName,
                       const char* typeName, uint64_t maximum, uint64_t& out) {
  const WholeNumber number = ParseWholeNumber(text);
  if (!number.complete) return Fail(result, kIncorrectFormat, text, memberName, typeName);
  // The standard routine would wrap a negative number around; it is out of
  // range instead, "-0" included.
  if (number.negative || number.overflow || number.magnitude > maximum) {
    return Fail(result, kOutOfRange, text, memberName, typeName);
  }
  out = number.magnitude;
  return true;
}

std::from_chars_result HexFromChars(const char* first, const char* last, double& value) {
  if (first == last || (!std::isxdigit(static_cast<unsigned char>(*first)) && *first != '.')) {
    return {first, std::errc::invalid_argument};
  }
  return std::from_chars(first, last, value, std::chars_format::hex);
}

bool ParseFloatText(BindingResult& result, std::string_view text, const std::string& memberName,
                    const char* typeName, double minimum, double maximum, double& out) {
  const char* const end = text.data() + text.size();
  const char* at = text.data();
  while (at != end && IsBlank(*at)) ++at;
  bool negative = false;
  if (at != end && (*at == '+' || *at == '-')) {
    negative = *at == '-';
    ++at;
  }
  double value = 0;
  std::from_chars_result parsed{at, std::errc::invalid_argument};
  // from_chars takes neither a sign of its own here nor the "0x" prefix.
  if (at != end && *at != '+' && *at != '-') {
    if (end - at > 2 && at[0] == '0' && (at[1] == 'x' || at[1] == 'X')) {
      parsed = HexFromChars(at + 2, end, value);
      // "0x" without hexadecimal digits reads as the number 0 before an "x".
      if (parsed.ec == std::errc::invalid_argument) parsed = {at + 1, std::errc()};
    } else {
      parsed = std::from_chars(at, end, value);
    }
  }
  if (parsed.ec == std::errc::invalid_argument) {
    if (!text.empty()) return Fail(result, kIncorrectFormat, text, memberName, typeName);
    out = 0;
    return true;
  }
  if (parsed.ptr != end) return Fail(result, kIncorrectFormat, text, memberName, typeName);
  if (parsed.ec == std::errc::result_out_of_range) {
    return Fail(result, kOutOfRange, text, memberName, typeName);
  }
  if (negative) value = -value;
  if (value < minimum || value > maximum) {
    return Fail(result, kOutOfRange, text, memberName, typeName);
  }
  out = value;
  return true;
}

}  // namespace Halden
