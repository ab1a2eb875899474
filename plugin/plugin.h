// The plugin base class. It negotiates the plugin API version with the host,
// names the plugin, lets the derived plugin register its API, routes logging
// to the host, starts the plugin and tears it down. The host drives it
// through the PluginCallbacks table written into the registration record.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "api/api_dispatcher.h"
#include "api/typed_endpoint.h"
#include "boundary/host_interface.h"
#include "plugin/plugin_api_version.h"
#include "plugin/plugin_name.h"
#include "plugin/plugin_runtime.h"

namespace Halden {

class PluginLogTarget;

inline constexpr const char* kNotInitialized = "The host has not initialized the plugin yet";

class Plugin : public PluginRuntime {
 public:
  Plugin();
  ~Plugin() override;
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  // Until Initialize gives the host's table, a request fails with
  // kNotInitialized as its error text (an external one as transport -1 with
  // that body) and the other forwarders do nothing.
  void HostRequest(JsonApiResponse* response, const JsonApiRequest* request) override;
  void HostExternalRequest(ExternalResponseRecord* response,
                           const ExternalRequestRecord* request) override;
  void HostSendEvent(const HostEvent* event) override;
  void HostSubscribe(const char* eventName, uintptr_t token, HostEventCallback callback,
                     uintptr_t userData, uint32_t kind) override;
  void HostUnsubscribe(const char* eventName, uintptr_t token) override;
  void HostReserved(uint32_t a, uint32_t b, uint32_t c, double d, uint32_t e) override;
  void HostYield() override;
  void HostBeginWait(const char* label, uint32_t word) override;
  void HostEndWait() override;

  // Called once inside registration: a derived plugin registers its types,
  // functions and events here.
  virtual void RegisterApi() {}
  // Called last by Initialize; the result goes back to the host.
  virtual bool Start() { return true; }

  const PluginName& Name() const { return name; }
  const PluginApiVersion& CoreVersion() const { return coreVersion; }
  const std::string& TypeNamePrefix() const { return typeNamePrefix; }
  const std::vector<std::string>& DocumentationTags() const { return documentationTags; }
  // The plugin's own type registry: the builtin and runtime types, then
  // whatever RegisterApi adds.
  BindingRegistry& Types() { return *types; }
  // The endpoints of the plugin and the API table built from them.
  ApiDispatcher& Dispatcher() { return *dispatcher; }

  // Registers `plugin` with the host through its registration record. An
  // incompatible core is fatal: the report is logged and the process ends.
  static void Register(Plugin* plugin, PluginRegistration* registration,
                       const std::string& shortName);

 protected:
  // Registers `handler` of the derived plugin as the endpoint for `method`
  // (kMethod*) and `path`, tagged with the plugin's documentation tags:
  //   Endpoint(kMethodPut, "/v1/email", &MyPlugin::PutEmail).Body("EmailUpdate");
  template <typename C, typename R, typename... A>
  EndpointRegistration Endpoint(uint32_t method, const std::string& path, R (C::*handler)(A...)) {
    EndpointRegistration registration =
        TypedEndpoint(*dispatcher, static_cast<C*>(this), method, path, handler);
    registration.Tags(documentationTags);
    return registration;
  }

 private:
  bool Initialize(const HostApi* api);

  static uint8_t ZVM_CDECL InitializeShim(void* instance, const HostApi* api);
  static void ZVM_CDECL ShutdownShim(void* instance);
  static void ZVM_CDECL GetMemoryStatsShim(void* instance, uint64_t* out);

  PluginApiVersion coreVersion;
  std::unique_ptr<PluginLogTarget> logTarget;
  PluginName name;
  std::string typeNamePrefix;
  std::vector<std::string> documentationTags;
  std::unique_ptr<BindingRegistry> types;
  std::unique_ptr<ApiDispatcher> dispatcher;
  // Set once by Initialize, read by forwarders on any thread.
  std::atomic<const HostApi*> hostApi{nullptr};
  PluginCallbacks callbacks{};
};

}  // namespace Halden
