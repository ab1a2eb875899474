#include "binding/binding_result.h"

namespace Halden {

BindingResult& BindingResult::SetError(const std::string& message) {
  Reset();
  ok = 0;
  Member("error").SetString(message);
  return *this;
}

const std::string& BindingResult::Error() const {
  if (ok != 0) return kEmptyString;
  return Find("error").GetString();
}

}  // namespace Halden
