// The reads the converters make of their input, for properties and host
// values alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "binding/converter.h"
#include "binding/internal/scalar_input.h"
#include "binding/property.h"
#include "boundary/host_value.h"

namespace Halden {

// A host value reads as the property HostValueToProperty makes of it: kind
// 0 is Empty, both string kinds a String of the text up to its first NUL
// (a null text is empty), both blob kinds a Blob, a null array an empty
// collection or structure, a null key the empty key, and of the entries of
// one key the last. Kinds that do not convert read as Empty.
inline BindingPropertyKind InputKind(const HostValue& input) {
  using Kind = BindingPropertyKind;
  static constexpr Kind kKinds[] = {Kind::Empty, Kind::Bool,       Kind::Signed,   Kind::Unsigned,
                                    Kind::Float, Kind::String,     Kind::String,   Kind::Blob,
                                    Kind::Blob,  Kind::Collection, Kind::Structure};
  return input.kind >= kHostNone && input.kind <= kHostStructure ? kKinds[input.kind] : Kind::Empty;
}
// Inline: every scalar a converter reads from a host value comes through it.
inline ScalarInput InputScalar(const HostValue& input) {
  ScalarInput scalar;
  scalar.kind = InputKind(input);
  switch (scalar.kind) {
    case BindingPropertyKind::Bool:
      scalar.boolean = input.boolean != 0;
      break;
    case BindingPropertyKind::Signed:
      scalar.signedValue = input.signedValue;
      break;
    case BindingPropertyKind::Unsigned:
      scalar.unsignedValue = input.unsignedValue;
      break;
    case BindingPropertyKind::Float:
      scalar.floatValue = input.floatValue;
      break;
    case BindingPropertyKind::String:
      if (input.text.data != nullptr) scalar.text = input.text.data;
      break;
    default:
      break;
  }
  return scalar;
}
// Whether a host key (null for none) is `key` up to its first NUL, as a
// property's member lookup counts a key.
inline bool InputKeyEquals(const char* hostKey, std::string_view key) {
  if (hostKey == nullptr) hostKey = "";
  for (const char c : key) {
    if (c == '\0') break;
    if (*hostKey != c) return false;
    ++hostKey;
  }
  return *hostKey == '\0';
}
// The member `key` of a structure; a kind-0 value when there is none.
const HostValue& InputMember(const HostValue& input, std::string_view key);
inline uint32_t InputSize(const HostValue& input) {
  return input.collection.elements != nullptr ? input.collection.count : 0;
}
inline const HostValue& InputElement(const HostValue& input, std::size_t index) {
  return input.collection.elements[index];
}

inline BindingPropertyKind InputKind(const BindingProperty& input) { return input.GetKind(); }
inline ScalarInput InputScalar(const BindingProperty& input) { return ScalarInput(input); }
inline const BindingProperty& InputMember(const BindingProperty& input, const std::string& key) {
  return input.Find(key);
}
inline uint32_t InputSize(const BindingProperty& input) { return input.Size(); }
inline const BindingProperty& InputElement(const BindingProperty& input, std::size_t index) {
  return input.Element(index);
}

// Calls the converter's reader of the input's type.
inline void ReadInput(const BindingConverter& converter, BindingResult& result, void* value,
                      const BindingProperty& input, const std::string& memberName,
                      const BindingTypeDescriptor* type, const BindingRegistry* registry,
                      uint32_t flags) {
  converter.FromProperty(result, value, input, memberName, type, registry, flags);
}
inline void ReadInput(const BindingConverter& converter, BindingResult& result, void* value,
                      const HostValue& input, const std::string& memberName,
                      const BindingTypeDescriptor* type, const BindingRegistry* registry,
                      uint32_t flags) {
  converter.FromHostValue(result, value, input, memberName, type, registry, flags);
}

}  // namespace Halden
