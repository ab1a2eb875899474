// The outcome of a conversion: a value, or a failure with its message.
#pragma once

#include <string>

#include "binding/property.h"

namespace Halden {

// A BindingProperty with a success flag. A successful result holds the
// converted value; a failed one is a Structure with the one member "error",
// a String holding the message. Callers test Ok() and read Error().
class BindingResult : public BindingProperty {
 public:
  // An empty, successful result.
  BindingResult() = default;
  // A successful result holding a copy of `value` (or taking it over).
  BindingResult(const BindingProperty& value)
      : BindingProperty(value) {}                  // NOLINT: a value is a result
  BindingResult(BindingProperty&& value) noexcept  // NOLINT: a value is a result
      : BindingProperty(std::move(value)) {}

  bool Ok() const { return ok != 0; }
  // Replaces the value with the failure structure and clears the flag.
  BindingResult& SetError(const std::string& message);
  // The message of a failed result; the empty string when the result is
  // successful or holds no String "error" member.
  const std::string& Error() const;

 private:
  uint8_t ok = 1;
};

}  // namespace Halden
