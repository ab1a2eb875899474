// Short builders of input properties and host values for conversion tests.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>

#include "binding/property.h"
#include "boundary/host_value.h"

namespace Halden::binding_test {

// Each builder returns a copy of the temporary it sets.
inline BindingProperty Bool(bool value) { return BindingProperty().SetBool(value); }
inline BindingProperty Signed(int64_t value) { return BindingProperty().SetSigned(value); }
inline BindingProperty Unsigned(uint64_t value) { return BindingProperty().SetUnsigned(value); }
inline BindingProperty Float(double value) { return BindingProperty().SetFloat(value); }
inline BindingProperty Text(const std::string& value) {
  return BindingProperty().SetString(std::string(value));
}
inline BindingProperty Enum(int32_t value, const StaticType* type) {
  return BindingProperty().SetEnum({value, type});
}

// A host value of `kind`. A text, blob or array is borrowed: `pointer` and
// `count` fill its payload, which has the same layout for all four.
inline HostValue Host(int32_t kind, const void* pointer = nullptr, uint32_t count = 0) {
  HostValue value;
  std::memset(static_cast<void*>(&value), 0, sizeof value);
  value.kind = kind;
  value.text.data = static_cast<const char*>(pointer);
  value.text.length = count;
  return value;
}
inline HostValue HostSigned(int64_t number) {
  HostValue value = Host(kHostSigned);
  value.signedValue = number;
  return value;
}

// A compact text of a whole tree that shows every kind, for comparing trees:
// ~ Empty, true/false, s-1 Signed, u1 Unsigned, f1.5 Float (shortest form),
// "x" String, b<Base64> Blob, e3 Enum, [a,b] Collection, {k:v,...} Structure.
inline std::string Describe(const BindingProperty& value) {
  switch (value.GetKind()) {
    case BindingPropertyKind::Empty:
      return "~";
    case BindingPropertyKind::Bool:
      return value.GetBool() ? "true" : "false";
    case BindingPropertyKind::Signed:
      return "s" + std::to_string(value.GetSigned());
    case BindingPropertyKind::Unsigned:
      return "u" + std::to_string(value.GetUnsigned());
    case BindingPropertyKind::Float: {
      char digits[32];
      const auto end = std::to_chars(digits, digits + sizeof digits, value.GetFloat()).ptr;
      return "f" + std::string(digits, end);
    }
    case BindingPropertyKind::String:
      return "\"" + value.GetString() + "\"";
    case BindingPropertyKind::Blob:
      return "b" + value.ToText();
    case BindingPropertyKind::Enum:
      return "e" + value.ToText();
    case BindingPropertyKind::Collection: {
      std::string text = "[";
      for (uint32_t i = 0; i < value.Size(); ++i) {
        text += (i == 0 ? "" : ",") + Describe(value.Element(i));
      }
      return text + "]";
    }
    case BindingPropertyKind::Structure: {
      std::string text = "{";
      for (auto [key, child] : value.Members()) {
        text += (text.size() == 1 ? "" : ",") + key + ":" + Describe(child);
      }
      return text + "}";
    }
  }
  return "?";
}

}  // namespace Halden::binding_test
