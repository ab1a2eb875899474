// The runtime layer of the plugin base: what the plugin needs of the host
// once it is connected (requests, events, subscriptions), reached through
// virtual forwarders that the Plugin layer binds to the host's table.
#pragma once

#include <cstdint>
#include <string>

#include "boundary/host_interface.h"
#include "plugin/resource_subscriber.h"

namespace Halden {

class BindingRegistry;

class PluginRuntime : public ResourceSubscriber {
 public:
  virtual ~PluginRuntime();

  // Removes every subscription and handler this runtime holds with the host.
  virtual void Stop();

  // Forwarders to the host's function table, arguments passed unchanged.
  virtual void HostRequest(JsonApiResponse* response, const JsonApiRequest* request) = 0;
  virtual void HostExternalRequest(ExternalResponseRecord* response,
                                   const ExternalRequestRecord* request) = 0;
  virtual void HostSendEvent(const HostEvent* event) = 0;
  virtual void HostSubscribe(const char* eventName, uintptr_t hostToken, HostEventCallback callback,
                             uintptr_t userData, uint32_t kind) = 0;
  virtual void HostUnsubscribe(const char* eventName, uintptr_t hostToken) = 0;
  virtual void HostReserved(uint32_t a, uint32_t b, uint32_t c, double d, uint32_t e) = 0;
  virtual void HostYield() = 0;
  virtual void HostBeginWait(const char* label, uint32_t word) = 0;
  virtual void HostEndWait() = 0;

  // The runtime's cooperative wait: lets the host run other work.
  void Wait();

  const std::string& UserAgent() const { return userAgent; }
  const std::string& ShortName() const { return shortName; }
  uintptr_t HostToken() const { return hostToken; }

 protected:
  // Keeps what the runtime needs once the host has initialized the plugin.
  void Connect(uintptr_t token, const std::string& name, const std::string& agent);
  void UseRegistry(BindingRegistry* types) { registry = types; }

  BindingRegistry* registry = nullptr;
  uintptr_t hostToken = 0;
  std::string shortName;
  std::string userAgent;
};

}  // namespace Halden
