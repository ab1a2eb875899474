// The object through which a registered function's native handler is called.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "binding/static_type.h"

namespace Halden {

class BindingProperty;
struct HostValue;
// The dispatcher's call result; it must be defined as a struct.
struct ApiResponse;

// The one parameter, if any, read from a host value instead of its property
// (a request body read straight from its text); its property is not read.
struct BindingHostArgument {
  const HostValue* value = nullptr;
  std::size_t index = 0;
};

// Calls the native handler of one registered function. The dispatcher calls
// Invoke, then (when the call result is still a success) Complete, then
// Release of the pending handle Invoke returned. Between them, Invoke and
// Complete convert `arguments` (one property per parameter, in parameter
// order; `hostArgument`'s parameter is read from its host value instead) to
// native values and run the handler, which fills `response`. An invoker
// whose handler takes no arguments may do all its work in Complete;
// its Invoke then only allocates a pending handle for Release to free.
// `hostContext` is the host's word of the call, passed on unchanged.
//
// The function descriptor owns its invoker.
class BindingInvoker {
 public:
  virtual void* Invoke(ApiResponse& response, std::vector<BindingProperty>& arguments,
                       const BindingHostArgument& hostArgument, uintptr_t hostContext) = 0;
  // `callDescription` is null for calls made by the dispatcher.
  virtual void Complete(ApiResponse& response, const void* callDescription, void* pending,
                        uintptr_t hostContext) = 0;
  virtual void Release(void* pending) = 0;
  // The native handler behind the invoker; the dispatcher does not use it.
  virtual const void* Handler() const { return nullptr; }
  // The identity of the handler's native result type.
  virtual const StaticType& ResultType() const = 0;
  virtual ~BindingInvoker() = default;
};

}  // namespace Halden
