#include "binding/converter_output.h"

#include <cstdint>

#include "binding/descriptors.h"
#include "binding/host_value_conversion.h"
#include "binding/registry.h"

namespace Halden {

void WriteBool(HostOutput output, bool value) {
  output.value.boolean = value ? 1 : 0;
  output.value.kind = kHostBool;
}

void WriteSigned(HostOutput output, int64_t value) {
  output.value.signedValue = value;
  output.value.kind = kHostSigned;
}

void WriteUnsigned(HostOutput output, uint64_t value) {
  output.value.unsignedValue = value;
  output.value.kind = kHostUnsigned;
}

void WriteFloat(HostOutput output, double value) {
  output.value.floatValue = value;
  output.value.kind = kHostFloat;
}

void WriteString(HostOutput output, const std::string& text) {
  uint32_t length = 0;
  output.value.text.data = CopyHostText(text.c_str(), &length);
  output.value.text.length = length;
  output.value.kind = kHostStringOwned;
}

// The registry finds the enumeration by its StaticType, which is what `type`
// was found by when the member was registered (unless the enumeration came
// later), and scans its enumerators in name order.
void WriteEnum(HostOutput output, int32_t value, const StaticType* staticType,
               const BindingTypeDescriptor* type) {
  if (output.registry != nullptr && type == nullptr) type = output.registry->FindType(staticType);
  if (type != nullptr) {
    for (const auto& [name, enumerator] : type->enumerators) {
      if (enumerator.value == value) {
        WriteString(output, name);
        return;
      }
    }
  }
  WriteSigned(output, value);
}

bool WriteCollection(HostOutput output, uint32_t count) {
  if (output.depth >= kMaxHostValueNesting) return false;
  output.value.kind = kHostCollection;
  if (count == 0) return true;
  output.value.collection.elements = new HostValue[count]();
  output.value.collection.count = count;
  return true;
}

}  // namespace Halden
