// The value of a JSON number, as the JSON readers store it.
#pragma once

#include <cstdint>
#include <string_view>

namespace Halden::json_internal {

// Integers without a minus sign within 64 bits are Unsigned, with one and
// within 64 bits Signed; everything else (fractions, exponents, larger
// integers) is the nearest double, infinite or zero past its range.
struct JsonNumber {
  enum class Kind { Signed, Unsigned, Float };
  Kind kind = Kind::Float;
  int64_t signedValue = 0;
  uint64_t unsignedValue = 0;
  double floatValue = 0;
};

// `number` is text the parser has checked against the JSON grammar.
JsonNumber ReadJsonNumber(std::string_view number);

}  // namespace Halden::json_internal
