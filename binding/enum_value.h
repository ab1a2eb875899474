// The payload of an Enum property.
#pragma once

#include <cstdint>

#include "binding/static_type.h"

namespace Halden {

// An enumerator kept as its number and the identity of its enumeration; its
// name is looked up only when the value is rendered. `type` is null only in
// a default-constructed value.
struct EnumValue {
  int32_t value = 0;
  const StaticType* type = nullptr;
};

}  // namespace Halden
