#include "binding/native_conversion.h"

namespace Halden {

BindingResult ConvertToPropertyWith(const BindingConverter& converter, const void* value,
                                    const BindingTypeDescriptor* type,
                                    const BindingRegistry& registry) {
  BindingResult output;
  converter.ToProperty(output, value, type, &registry, output);
  return output;
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

}  // namespace Halden
