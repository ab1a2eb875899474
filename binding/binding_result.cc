#include "binding/binding_result.h"

namespace Halden {

BindingResult& BindingResult::SetError(const std::string& message) {
  // The message may be text of this very result (its former error, or a
  // string of its value), which Reset releases.
  const std::string text = message;
  Reset();
  ok = 0;
  Member("error").SetString(text);
  return *this;
}

const std::string& BindingResult::Error() const {
  if (ok != 0) return kEmptyString;
  return Find("error").GetString();
}

}  // namespace Halden
