// Short builders of input properties for conversion tests.
#pragma once

#include <cstdint>
#include <string>

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

}  // namespace Halden::binding_test
