#include "api/typed_endpoint.h"

#include "api/camel_case_name.h"
#include "api/method.h"
#include "binding/converter_input.h"

namespace Halden {
namespace endpoint_internal {

namespace {

// An empty value leaves an optional parameter's native default.
template <typename Input>
void ConvertInput(ApiResponse& response, const BindingConverter& converter, void* native,
                  const Input& value, const BindingArgumentDescriptor& parameter) {
  if (!response.result.Ok() ||
      (InputKind(value) == BindingPropertyKind::Empty && parameter.optional != 0)) {
    return;
  }
  ReadInput(converter, response.result, native, value, parameter.name, parameter.type.descriptor,
            parameter.function->registry, 0);
}

}  // namespace

void ConvertArgument(ApiResponse& response, const BindingConverter& converter, void* native,
                     const BindingProperty& value, const BindingArgumentDescriptor& parameter) {
  ConvertInput(response, converter, native, value, parameter);
}

void ConvertArgument(ApiResponse& response, const BindingConverter& converter, void* native,
                     const HostValue& value, const BindingArgumentDescriptor& parameter) {
  ConvertInput(response, converter, native, value, parameter);
}

void StoreValue(ApiResponse& response, ApiResponse&& handled, const void* value,
                const BindingConverter& converter, const BindingTypeDescriptor* type,
                const BindingRegistry& registry) {
  response = std::move(handled);
  if (response.IsError() || value == nullptr) return;
  if (!WriteHostValueWith(converter, value, type, registry, response.hostValue.Hold())) {
    response.hostValue = OwnedHostValue();
    response.result = ConvertToPropertyWith(converter, value, type, registry);
  }
}

}  // namespace endpoint_internal

EndpointRegistration::EndpointRegistration(
    ApiDispatcher& dispatcher, uint32_t method, const std::string& path,
    const std::vector<BindingTypeRef>& argumentTypes, const BindingTypeRef& result,
    std::unique_ptr<BindingInvoker> (*makeInvoker)(const BindingFunctionDescriptor*,
                                                   const void* context),
    const void* context)
    : endpoint(nullptr, nullptr, true) {
  BindingRegistry& registry = dispatcher.Registry();
  const std::string name = CamelCaseName(MethodName(method), path);
  if (registry.FindFunction(name) != nullptr) return;
  function = registry.RegisterFunction(name, static_cast<uint32_t>(argumentTypes.size()));
  for (std::size_t i = 0; i < argumentTypes.size(); ++i) {
    function->SetArgumentType(i, argumentTypes[i], false);
  }
  function->returns = result;
  function->invoker = makeInvoker(function, context);
  endpoint = dispatcher.RegisterEndpoint(function);
  endpoint.Template(path).Method(method);
}

EndpointRegistration& EndpointRegistration::Arg(const std::string& name, uint32_t location,
                                                bool optional) {
  if (function == nullptr || nextArgument >= function->arguments.size()) return *this;
  const std::size_t index = nextArgument++;
  function->SetArgumentName(index, name, "");
  function->arguments[index].optional = optional ? 1 : 0;
  endpoint.Location(index, location);
  return *this;
}

EndpointRegistration& EndpointRegistration::NamedMethod(const std::string& name) {
  endpoint.NamedMethod(name);
  return *this;
}

EndpointRegistration& EndpointRegistration::Flag(uint8_t value) {
  endpoint.Flag(value);
  return *this;
}

EndpointRegistration& EndpointRegistration::TextList(std::vector<std::string> texts) {
  endpoint.TextList(std::move(texts));
  return *this;
}

EndpointRegistration& EndpointRegistration::Tags(const std::vector<std::string>& tags) {
  if (function != nullptr) {
    for (const std::string& tag : tags) function->AddTag(tag);
  }
  return *this;
}

EndpointRegistration& EndpointRegistration::Description(const std::string& text) {
  if (function != nullptr) function->description = text;
  return *this;
}

EndpointRegistration& EndpointRegistration::Help(const std::string& text) {
  if (function != nullptr) function->help = text;
  return *this;
}

}  // namespace Halden
