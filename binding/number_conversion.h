// The text steps of the number conversion rules, shared by the property
// converters and the body readers.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include "binding/binding_result.h"

namespace Halden {

// Each function parses the whole of `text` and stores the number in `out`.
// On failure it calls `result.SetError` and returns false; it does not look
// at the earlier state of `result`. `memberName` and `typeName` name the
// value in the messages:
//   "Value %1 for '%2' of type %3 is in an incorrect format" when characters
//   remain after the number (the text holds no number, a blank follows it);
//   "Value %1 for '%2' of type %3 is out of range" when the number overflows
//   or lies outside the limits;
// with %1 the text. An empty text is 0.

// A whole number in automatic base: leading blanks, an optional sign, "0x"
// or "0X" for hexadecimal, a leading "0" for octal, decimal otherwise.
bool ParseSignedText(BindingResult& result, std::string_view text, const std::string& memberName,
                     const char* typeName, int64_t minimum, int64_t maximum, int64_t& out);

// As ParseSignedText; a number with a minus sign is out of range.
bool ParseUnsignedText(BindingResult& result, std::string_view text, const std::string& memberName,
                       const char* typeName, uint64_t maximum, uint64_t& out);

// std::from_chars of the digits of a hexadecimal floating-point number
// (after its "0x"), which must begin with a digit or a point: from_chars
// alone would also take a sign, "inf" or "nan" there.
std::from_chars_result HexFromChars(const char* first, const char* last, double& value);

// A floating-point number: leading blanks, an optional sign, decimal or
// "0x" hexadecimal digits with an optional exponent, or the spellings of
// infinity and not-a-number, in any case. A value too large or too small in
// magnitude for a double is out of range; a NaN is within any limits.
bool ParseFloatText(BindingResult& result, std::string_view text, const std::string& memberName,
                    const char* typeName, double minimum, double maximum, double& out);

}  // namespace Halden
