// The records and events every plugin's runtime registers, so that resource
// events, LCDS messages and service-proxy messages convert like any other
// registered record.
#pragma once

#include <cstdint>
#include <string>

#include "binding/property.h"

namespace Halden {

class BindingRegistry;

enum class PluginManagerState : int32_t { NotReady = 0, PluginsInitialized = 1 };

struct PluginManagerResource {
  PluginManagerState state = PluginManagerState::NotReady;
};

enum class PluginResourceEventType : int32_t { Create = 0, Update = 1, Delete = 2 };

// The payload of every resource event.
struct PluginResourceEvent {
  std::string uri;
  PluginResourceEventType eventType = PluginResourceEventType::Create;
  BindingProperty data;
};

struct PluginLcdsEvent {
  std::string clientId;
  std::string subtopic;
  std::string typeName;
  BindingProperty body;
};

struct PluginLcdsResponse {
  std::string typeName;
  BindingProperty body;
};

struct PluginServiceProxyResponse {
  std::string uuid;
  std::string serviceName;
  std::string methodName;
  std::string payload;
  std::string status;
  std::string error;
};

// Registers the records above and the runtime's events, all tagged "hclient".
void RegisterRuntimeTypes(BindingRegistry& registry);

}  // namespace Halden
