#include "formats/json_number.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <system_error>

#include "formats/number_magnitude.h"

namespace Halden::json_internal {

JsonNumber ReadJsonNumber(std::string_view number) {
  JsonNumber read;
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
        read.kind = JsonNumber::Kind::Unsigned;
        read.unsignedValue = magnitude;
        return read;
      }
      if (magnitude <= kLowest) {
        read.kind = JsonNumber::Kind::Signed;
        read.signedValue = magnitude == kLowest ? std::numeric_limits<int64_t>::min()
                                                : -static_cast<int64_t>(magnitude);
        return read;
      }
    }
  }
  if (std::from_chars(first, last, read.floatValue).ec == std::errc::result_out_of_range) {
    read.floatValue = internal::NumberMagnitude(number, false) > 0
                          ? std::numeric_limits<double>::infinity()
                          : 0.0;
    if (number.starts_with('-')) read.floatValue = -read.floatValue;
  }
  return read;
}

}  // namespace Halden::json_internal
