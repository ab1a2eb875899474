// The failure of a request through the host.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "logging/log_template.h"

namespace Halden {

// An HTTP status (0 for none), a message, and the named values the message
// was made of. The message comes from a template with named placeholders,
// "Error response for {method} {url}: {error}", whose arguments are taken in
// order and also recorded as fields under the placeholders' names; a
// non-zero status is recorded as the field "errorCode_int" too.
struct ApiError {
  uint32_t status = 0;
  std::string message;
  LogFields fields;

  static ApiError FromTemplate(uint32_t status, std::string_view templateText,
                               std::initializer_list<LogValue> arguments);
};

}  // namespace Halden
