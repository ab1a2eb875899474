#include "plugin/api_error.h"

#include <span>

namespace Halden {

ApiError ApiError::FromTemplate(uint32_t status, std::string_view templateText,
                                std::initializer_list<LogValue> arguments) {
  ApiError error;
  error.status = status;
  FormatTemplate(templateText, std::span<const LogValue>(arguments.begin(), arguments.size()),
                 &error.message, &error.fields);
  if (status != 0) error.fields["errorCode_int"] = LogValue::Unsigned(status);
  return error;
}

}  // namespace Halden
