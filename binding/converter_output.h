// The writes the converters make of their output, for properties and host
// values alike.
#pragma once

#include <cstdint>
#include <string>

#include "binding/enum_value.h"
#include "binding/property.h"
#include "boundary/host_value.h"

namespace Halden {

class BindingRegistry;
struct BindingTypeDescriptor;

// A host value being written, zero-filled until written, `depth` containers
// below the root. It receives what PropertyToHostValue makes of the property
// a converter would write: Bool, Signed, Unsigned and Float as kinds 1 to 4,
// a text up to its first NUL as an owned string (kind 6), an enumeration
// value as its name when `registry` knows one (else Signed), and containers
// with zero-filled arrays linked in before they are filled, so that a
// failure leaves a tree ReleaseHostValue frees.
struct HostOutput {
  HostValue& value;
  const BindingRegistry* registry;
  int depth;
};

inline void WriteBool(BindingProperty& output, bool value) { output.SetBool(value); }
inline void WriteSigned(BindingProperty& output, int64_t value) { output.SetSigned(value); }
inline void WriteUnsigned(BindingProperty& output, uint64_t value) { output.SetUnsigned(value); }
inline void WriteFloat(BindingProperty& output, double value) { output.SetFloat(value); }
inline void WriteString(BindingProperty& output, const std::string& text) {
  output.SetString(text.c_str());
}
// `type` is the enumeration's descriptor; a property names it by StaticType.
inline void WriteEnum(BindingProperty& output, int32_t value, const StaticType* staticType,
                      const BindingTypeDescriptor*) {
  output.SetEnum({value, staticType});
}

void WriteBool(HostOutput output, bool value);
void WriteSigned(HostOutput output, int64_t value);
void WriteUnsigned(HostOutput output, uint64_t value);
void WriteFloat(HostOutput output, double value);
void WriteString(HostOutput output, const std::string& text);
void WriteEnum(HostOutput output, int32_t value, const StaticType* staticType,
               const BindingTypeDescriptor* type);

// A collection of `count` elements, and the output of one of them; the
// host's fails beyond the nesting a host value may have.
inline bool WriteCollection(BindingProperty& output, uint32_t count) {
  output.MakeCollection().Reserve(count);
  return true;
}
inline BindingProperty& ElementOutput(BindingProperty& output, uint32_t) { return output.Append(); }
bool WriteCollection(HostOutput output, uint32_t count);
inline HostOutput ElementOutput(HostOutput output, uint32_t index) {
  return {output.value.collection.elements[index], output.registry, output.depth + 1};
}

}  // namespace Halden
