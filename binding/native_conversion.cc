#include "binding/native_conversion.h"

#include "binding/host_value_conversion.h"

namespace Halden {

BindingResult ConvertToPropertyWith(const BindingConverter& converter, const void* value,
                                    const BindingTypeDescriptor* type,
                                    const BindingRegistry& registry) {
  BindingResult output;
  converter.ToProperty(output, value, type, &registry, output);
  return output;
}

bool WriteHostValueWith(const BindingConverter& converter, const void* value,
                        const BindingTypeDescriptor* type, const BindingRegistry& registry,
                        HostValue& out) {
  try {
    if (converter.ToHostValue({out, &registry, 0}, value, type)) return true;
  } catch (...) {
    ReleaseHostValue(out);
    throw;
  }
  ReleaseHostValue(out);
  return false;
}

BindingResult ConvertFromPropertyWith(const BindingConverter& converter,
                                      const BindingProperty& property, void* value,
                                      const std::string& memberName,
                                      const BindingTypeDescriptor* type,
                                      const BindingRegistry& registry) {
  BindingResult result;
  converter.FromProperty(result, value, property, memberName, type, &registry, 0);
  return result;
}

BindingResult ConvertFromHostValueWith(const BindingConverter& converter, const HostValue& input,
                                       void* value, const std::string& memberName,
                                       const BindingTypeDescriptor* type,
                                       const BindingRegistry& registry) {
  BindingResult result;
  if (const HostValue* refused = FindUnconvertibleHostValue(input)) {
    result.SetError(IncompatibleHostValueMessage(memberName, refused->kind));
    return result;
  }
  converter.FromHostValue(result, value, input, memberName, type, &registry, 0);
  return result;
}

}  // namespace Halden
