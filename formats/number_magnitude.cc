#include "formats/number_magnitude.h"

#include <algorithm>
#include <cctype>

namespace Halden::internal {

int64_t NumberMagnitude(std::string_view number, bool hex) {
  constexpr int64_t kSaturation = int64_t{1} << 40;
  const auto isDigit = [hex](char c) {
    return hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : c >= '0' && c <= '9';
  };
  std::size_t i = number.starts_with('-') ? 1 : 0;
  int64_t magnitude = 0;
  bool significant = false;
  for (; i < number.size() && isDigit(number[i]); ++i) {
    significant = significant || number[i] != '0';
    if (significant) magnitude = std::min(magnitude + 1, kSaturation);
  }
  if (i < number.size() && number[i] == '.') {
    for (++i; i < number.size() && isDigit(number[i]); ++i) {
      significant = significant || number[i] != '0';
      if (!significant) magnitude = std::max(magnitude - 1, -kSaturation);
    }
  }
  if (hex) magnitude *= 4;
  const char marker = hex ? 'p' : 'e';
  if (i < number.size() && std::tolower(static_cast<unsigned char>(number[i])) == marker) {
    ++i;
    const bool negative = i < number.size() && number[i] == '-';
    if (i < number.size() && (number[i] == '-' || number[i] == '+')) ++i;
    int64_t exponent = 0;
    for (; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i) {
      exponent = std::min(exponent * 10 + (number[i] - '0'), kSaturation);
    }
    magnitude += negative ? -exponent : exponent;
  }
  return magnitude;
}

}  // namespace Halden::internal
