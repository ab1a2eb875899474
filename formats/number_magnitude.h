// How far a number's text lies from 1, for a text too large or too small
// for a double.
#pragma once

#include <cstdint>
#include <string_view>

namespace Halden::internal {

// The power of the number's first significant digit, saturated, so that a
// double's overflow (above 0) is told from its underflow: counted in tens for
// decimal digits with an "e" exponent, in bits for hexadecimal ones (the
// digits after "0x", four bits each) with a "p" exponent. `number` holds
// digits, an optional point and fraction and an optional exponent, after an
// optional minus sign.
int64_t NumberMagnitude(std::string_view number, bool hex);

}  // namespace Halden::internal
