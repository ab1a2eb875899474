// What the scalar conversion rules read of a value.
#pragma once

#include <cstdint>
#include <string_view>

#include "binding/enum_value.h"
#include "binding/property.h"
#include "binding/property_kind.h"

namespace Halden {

// The kind of a value and, for the scalar kinds, its content. Properties
// and host values are read through it alike, so that both follow the same
// rules with the same messages. `text` is a String's bytes; it borrows them
// from the value it was made of.
struct ScalarInput {
  ScalarInput() = default;
  // Implicit: every property is an input.
  ScalarInput(const BindingProperty& property);  // NOLINT(google-explicit-constructor)

  BindingPropertyKind kind = BindingPropertyKind::Empty;
  bool boolean = false;
  int64_t signedValue = 0;
  uint64_t unsignedValue = 0;
  double floatValue = 0;
  EnumValue enumValue;
  std::string_view text;
};

inline ScalarInput::ScalarInput(const BindingProperty& property) : kind(property.GetKind()) {
  switch (kind) {
    case BindingPropertyKind::Bool:
      boolean = property.GetBool();
      break;
    case BindingPropertyKind::Signed:
      signedValue = property.GetSigned();
      break;
    case BindingPropertyKind::Unsigned:
      unsignedValue = property.GetUnsigned();
      break;
    case BindingPropertyKind::Float:
      floatValue = property.GetFloat();
      break;
    case BindingPropertyKind::String:
      text = property.GetString();
      break;
    case BindingPropertyKind::Enum:
      enumValue = property.GetEnum();
      break;
    default:
      break;
  }
}

}  // namespace Halden
