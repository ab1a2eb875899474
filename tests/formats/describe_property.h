// A compact text of a property tree that shows every kind, for comparing
// read results in tests: ~ Empty, true/false, s-1 Signed, u1 Unsigned,
// f1.5 Float (shortest form), "x" String, b<Base64> Blob, e3 Enum,
// [a,b] Collection, {k:v,...} Structure.
#pragma once

#include <charconv>
#include <string>

#include "binding/property.h"

namespace Halden::formats_test {

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

}  // namespace Halden::formats_test
