// Turns the host's local calls into calls of registered functions.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "api/endpoint_function.h"
#include "binding/api_description.h"
#include "binding/registry.h"
#include "boundary/api_table.h"
#include "boundary/host_interface.h"
#include "util/in_flight.h"

namespace Halden {

// Keeps the endpoint records of the functions of one registry, builds the API
// table handed to the host, and handles the calls the host makes through it.
//
// Endpoints are registered and the table built during start-up; afterwards
// the records are only read, so calls on several host threads do not
// interfere. Every function the host calls catches everything: a failure
// becomes an error in the host's response.
class ApiDispatcher {
 public:
  explicit ApiDispatcher(BindingRegistry& registry);
  ApiDispatcher(const ApiDispatcher&) = delete;
  ApiDispatcher& operator=(const ApiDispatcher&) = delete;

  BindingRegistry& Registry() const { return registry; }

  // The endpoint record of `function`, created (with one location code per
  // parameter) when it has none.
  EndpointBuilder RegisterEndpoint(const BindingFunctionDescriptor* function);

  // Builds the API description from the registry's snapshots and one entry
  // per endpoint record, each calling HandleCall with a context that leads
  // back to this dispatcher and the record. Building again replaces the
  // previous table; the table lives as long as the dispatcher.
  const ApiTable* BuildApiTable();

  // The entries' callback. Matches the call against the endpoint's method
  // and template, binds the arguments from headers, path, query, explicit
  // arguments and body, invokes the handler and fills `response`, whose
  // release function frees everything the dispatcher put into it.
  static void ZVM_CDECL HandleCall(JsonApiResponse* response, const ApiCallRecord* call);

  // The endpoint's records are guarded by this during registration.
  std::mutex& Mutex() { return mutex; }

  // Returns once no call is being handled, so that the dispatcher and the
  // handlers' object can be destroyed.
  void WaitForCalls() { calls.WaitIdle(); }

 private:
  struct CallContext {
    ApiDispatcher* dispatcher;
    const EndpointFunction* endpoint;
  };

  void Dispatch(JsonApiResponse& response, const ApiCallRecord& call,
                const EndpointFunction& endpoint) const;

  BindingRegistry& registry;
  std::mutex mutex;
  std::map<const BindingFunctionDescriptor*, std::unique_ptr<EndpointFunction>> endpoints;

  // The table and everything it points at.
  ApiDescriptionStorage description;
  std::vector<ApiEndpointEntry> entries;
  std::vector<std::vector<ApiLocationRecord>> locations;
  std::vector<std::vector<std::vector<const char*>>> textPointers;
  std::vector<std::vector<ApiTextListRecord>> textLists;
  std::vector<std::unique_ptr<CallContext>> contexts;
  ApiTable table{};
  InFlight calls;
};

}  // namespace Halden
