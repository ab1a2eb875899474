#include "api/method.h"

namespace Halden {

const char* MethodName(std::uint32_t code) {
  static const char* const kNames[] = {"",        "DELETE", "GET",  "HEAD",
                                       "OPTIONS", "PATCH",  "POST", "PUT"};
  return code <= kMethodPut ? kNames[code] : "";
}

}  // namespace Halden
