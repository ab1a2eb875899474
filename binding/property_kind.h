// The kind of a BindingProperty.
#pragma once

#include <cstdint>

namespace Halden {

// Stored in one byte of every property; the codes are fixed.
enum class BindingPropertyKind : uint8_t {
  Empty = 0,
  Bool = 1,
  Signed = 2,
  Unsigned = 3,
  Float = 4,
  String = 5,
  Blob = 6,
  Enum = 7,
  Collection = 8,
  Structure = 9,
};

// The text name of a kind for messages and logs ("empty", "bool", ...,
// "structure"); the empty text for a code outside 0-9.
const char* KindName(BindingPropertyKind kind);

}  // namespace Halden
