// Short builders of input properties for conversion tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "binding/property.h"

namespace Halden::binding_test {

inline BindingProperty Bool(bool value) {
  BindingProperty property;
  property.SetBool(value);
  return property;
}
inline BindingProperty Signed(int64_t value) {
  BindingProperty property;
  property.SetSigned(value);
  return property;
}
inline BindingProperty Unsigned(uint64_t value) {
  BindingProperty property;
  property.SetUnsigned(value);
  return property;
}
inline BindingProperty Float(double value) {
  BindingProperty property;
  property.SetFloat(value);
  return property;
}
inline BindingProperty Text(const std::string& value) {
  BindingProperty property;
  property.SetString(std::string(value));
  return property;
}
inline BindingProperty Enum(int32_t value, const StaticType* type) {
  BindingProperty property;
  property.SetEnum({value, type});
  return property;
}
inline BindingProperty Blob() {
  BindingProperty property;
  property.SetBlob(std::vector<uint8_t>{1, 2});
  return property;
}
inline BindingProperty Collection() {
  BindingProperty property;
  property.Append().SetSigned(1);
  return property;
}
inline BindingProperty Structure() {
  BindingProperty property;
  property.Member("a").SetSigned(1);
  return property;
}

// A compact text of a whole tree, for comparing trees: ~ Empty, s/u/f
// numbers, 'text', b<size> blobs, e<value> enums, [..] and {key:..}.
inline std::string Dump(const BindingProperty& property) {
  switch (property.GetKind()) {
    case BindingPropertyKind::Empty:
      return "~";
    case BindingPropertyKind::Bool:
      return property.GetBool() ? "true" : "false";
    case BindingPropertyKind::Signed:
      return "s" + std::to_string(property.GetSigned());
    case BindingPropertyKind::Unsigned:
      return "u" + std::to_string(property.GetUnsigned());
    case BindingPropertyKind::Float:
      return "f" + property.ToText();
    case BindingPropertyKind::String:
      return "'" + property.GetString() + "'";
    case BindingPropertyKind::Blob:
      return "b" + std::to_string(property.Size());
    case BindingPropertyKind::Enum:
      return "e" + std::to_string(property.GetEnum().value);
    case BindingPropertyKind::Collection: {
      std::string text = "[";
      for (uint32_t i = 0; i < property.Size(); ++i) {
        text += (i == 0 ? "" : ",") + Dump(property.Element(i));
      }
      return text + "]";
    }
    case BindingPropertyKind::Structure: {
      std::string text = "{";
      for (const auto [key, value] : property.Members()) {
        text += (text.size() == 1 ? "" : ",") + key + ":" + Dump(value);
      }
      return text + "}";
    }
  }
  return "?";
}

}  // namespace Halden::binding_test
