// The declared types of members, parameters and results.
#pragma once

#include <cstdint>

namespace Halden {

struct BindingTypeDescriptor;

// What a struct member, function parameter or result holds. The codes are
// fixed: they are handed to the host unchanged.
enum class BindingTypeCode : int32_t {
  None = 0,
  Bool = 1,
  Int8 = 2,
  UInt8 = 3,
  Int16 = 4,
  UInt16 = 5,
  Int32 = 6,
  UInt32 = 7,
  Int64 = 8,
  UInt64 = 9,
  Float = 10,
  Double = 11,
  String = 12,
  Object = 13,  // a BindingProperty held whole
  Blob = 14,
  Vector = 15,
  Enum = 16,
  Struct = 17,
  Callback = 18,
  Map = 19,
};

// "bool", "int8", ..., "map" as used in conversion messages; the empty text
// for a code outside 1-19.
const char* TypeCodeName(BindingTypeCode code);

// A type reference. `elementCode` is used by Vector and Map only (None
// otherwise). `descriptor` names the registered enumeration or struct of an
// Enum or Struct code, or of the element type when the element is one; it is
// null otherwise. A vector element is described by the reference
// {elementCode, None, descriptor}: only one element level can be expressed.
struct BindingTypeRef {
  BindingTypeCode code = BindingTypeCode::None;
  BindingTypeCode elementCode = BindingTypeCode::None;
  const BindingTypeDescriptor* descriptor = nullptr;
};

}  // namespace Halden
