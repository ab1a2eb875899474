// Conversion of whole native values to and from BindingProperty trees, and
// from the HostValue trees that cross the host boundary.
#pragma once

#include <string>

#include "binding/binding_result.h"
#include "binding/converter.h"
#include "binding/converters.h"
#include "binding/property.h"
#include "binding/registry.h"
#include "boundary/host_value.h"

namespace Halden {

// `value` (a registered struct, or any type with a converter) as a property:
// a struct goes through the struct-to-property rule with its descriptor
// found in `registry` by StaticType; an unregistered struct gives the
// failure "Couldn't convert native value because it's an unregistered
// structure.".
template <typename T>
BindingResult ConvertToProperty(const BindingRegistry& registry, const T& value);

// Fills `value` from `property` by the rule of T's converter (the struct
// rule for a struct), naming the value `memberName` in messages; callers
// converting whole payloads use "<result>" or "<value>". After a failure
// `value` may be partly filled.
template <typename T>
BindingResult ConvertFromProperty(const BindingRegistry& registry, const BindingProperty& property,
                                  T& value, const std::string& memberName);

// Fills `value` from a host value as ConvertFromProperty would from the
// property HostValueToProperty makes of it, with the same result, but
// without building that property. A tree HostValueToProperty refuses fails
// with its message.
template <typename T>
BindingResult ConvertFromHostValue(const BindingRegistry& registry, const HostValue& input,
                                   T& value, const std::string& memberName);

// Writes `value` into `out` (zero-filled) in one pass: the tree
// PropertyToHostValue makes of what ConvertToProperty makes of it, without
// making the property. False, with `out` released, when that way is not the
// same (a failure of either step, a struct whose property would leave
// members out or merge them): callers then take the way through a property,
// which has the failure's message.
template <typename T>
bool WriteHostValue(const BindingRegistry& registry, const T& value, HostValue& out);

// The compiled bodies of the templates.
bool WriteHostValueWith(const BindingConverter& converter, const void* value,
                        const BindingTypeDescriptor* type, const BindingRegistry& registry,
                        HostValue& out);
BindingResult ConvertToPropertyWith(const BindingConverter& converter, const void* value,
                                    const BindingTypeDescriptor* type,
                                    const BindingRegistry& registry);
BindingResult ConvertFromPropertyWith(const BindingConverter& converter,
                                      const BindingProperty& property, void* value,
                                      const std::string& memberName,
                                      const BindingTypeDescriptor* type,
                                      const BindingRegistry& registry);
BindingResult ConvertFromHostValueWith(const BindingConverter& converter, const HostValue& input,
                                       void* value, const std::string& memberName,
                                       const BindingTypeDescriptor* type,
                                       const BindingRegistry& registry);

template <typename T>
BindingResult ConvertToProperty(const BindingRegistry& registry, const T& value) {
  const NativeConverter<T> converter;
  return ConvertToPropertyWith(converter, &value, TypeRefOf<T>(registry).descriptor, registry);
}

template <typename T>
bool WriteHostValue(const BindingRegistry& registry, const T& value, HostValue& out) {
  const NativeConverter<T> converter;
  return WriteHostValueWith(converter, &value, TypeRefOf<T>(registry).descriptor, registry, out);
}

template <typename T>
BindingResult ConvertFromProperty(const BindingRegistry& registry, const BindingProperty& property,
                                  T& value, const std::string& memberName) {
  const NativeConverter<T> converter;
  return ConvertFromPropertyWith(converter, property, &value, memberName,
                                 TypeRefOf<T>(registry).descriptor, registry);
}

template <typename T>
BindingResult ConvertFromHostValue(const BindingRegistry& registry, const HostValue& input,
                                   T& value, const std::string& memberName) {
  const NativeConverter<T> converter;
  return ConvertFromHostValueWith(converter, input, &value, memberName,
                                  TypeRefOf<T>(registry).descriptor, registry);
}

}  // namespace Halden
