// The dispatcher's record of one endpoint function, and the builder through
// which registration fills it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "api/call_binding.h"
#include "api/route.h"
#include "binding/descriptors.h"

namespace Halden {

// What the dispatcher knows of an endpoint beyond the function descriptor:
// its path template, method, the flag byte and text lists passed to the host
// unchanged, and one location code per parameter. Created and changed only
// during registration, under the dispatcher's mutex; read-only afterwards.
struct EndpointFunction {
  const BindingFunctionDescriptor* function = nullptr;
  std::string pathTemplate;
  uint32_t methodCode = 0;
  // Only for method code 8.
  std::string methodName;
  uint8_t flag = 0;
  std::vector<std::vector<std::string>> textLists;
  std::vector<uint32_t> locations;
  // Built with the API table: the route from the method and the template
  // (the function's name when there is no template), the parameters'
  // positions by name, and whether the readers may quote what they read
  // (not when a parameter holds a secret).
  Route route;
  ParameterIndex parameters;
  InputQuoting quoting = InputQuoting::Quoted;
};

class ApiDispatcher;

// Returned when an endpoint is registered. When the function had an endpoint
// record before, `Existed()` is true and every operation does nothing, so the
// first registration stays as it was.
class EndpointBuilder {
 public:
  EndpointBuilder(ApiDispatcher* owner, EndpointFunction* record, bool alreadyRegistered)
      : dispatcher(owner), endpoint(record), existed(alreadyRegistered) {}

  bool Existed() const { return existed; }
  EndpointFunction& Record() const { return *endpoint; }

  // Stores the template, one trailing "/" dropped ("/" alone stays).
  EndpointBuilder& Template(const std::string& pathTemplate);
  // Sets the method code and clears the method name.
  EndpointBuilder& Method(uint32_t code);
  // A method named by text (code 8).
  EndpointBuilder& NamedMethod(const std::string& name);
  // Sets where the parameter at `index` is taken from (kLocation*).
  EndpointBuilder& Location(std::size_t index, uint32_t location);
  // The parameter at `index` receives the request body.
  EndpointBuilder& Body(std::size_t index) { return Location(index, 5); }
  EndpointBuilder& Flag(uint8_t value);
  EndpointBuilder& TextList(std::vector<std::string> texts);

 private:
  ApiDispatcher* dispatcher;
  EndpointFunction* endpoint;
  bool existed;
};

}  // namespace Halden
