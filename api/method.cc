#include "api/method.h"

namespace Halden {

const char* MethodName(std::uint32_t code) {
  static const char* const kNames[] = {"",        "DELETE", "GET",  "HEAD",
                                       "OPTIONS", "PATCH",  "POST", "PUT"};
  return code <= kMethodPut ? kNames[code] : "";
}

std::uint32_t MethodCode(std::string_view name) {
  for (std::uint32_t code = kMethodDelete; code <= kMethodPut; ++code) {
    if (name == MethodName(code)) return code;
  }
  return 0;
}

}  // namespace Halden
