#include "binding/type_code.h"

namespace Halden {

const char* TypeCodeName(BindingTypeCode code) {
  static constexpr const char* kNames[] = {"",       "bool",   "int8",   "uint8",    "int16",
                                           "uint16", "int32",  "uint32", "int64",    "uint64",
                                           "float",  "double", "string", "object",   "blob",
                                           "vector", "enum",   "struct", "callback", "map"};
  const auto index = static_cast<int32_t>(code);
  if (index < 1 || index > static_cast<int32_t>(BindingTypeCode::Map)) return "";
  return kNames[index];
}

}  // namespace Halden
