#include "plugin/runtime_types.h"

#include "binding/registration.h"

namespace Halden {

void RegisterRuntimeTypes(BindingRegistry& registry) {
  const std::initializer_list<const char*> tags = {"hclient"};
  RegisterEnum<PluginManagerState>(registry, "PluginManagerState")
      .Value("NotReady", PluginManagerState::NotReady)
      .Value("PluginsInitialized", PluginManagerState::PluginsInitialized)
      .Tags(tags);
  RegisterStruct<PluginManagerResource>(registry, "PluginManagerResource")
      .Field("state", &PluginManagerResource::state)
      .Tags(tags);
  RegisterEnum<PluginResourceEventType>(registry, "PluginResourceEventType")
      .Value("Create", PluginResourceEventType::Create)
      .Value("Update", PluginResourceEventType::Update)
      .Value("Delete", PluginResourceEventType::Delete)
      .Tags(tags);
  RegisterStruct<PluginResourceEvent>(registry, "PluginResourceEvent")
      .Field("uri", &PluginResourceEvent::uri)
      .Field("eventType", &PluginResourceEvent::eventType)
      .Field("data", &PluginResourceEvent::data)
      .Tags(tags);
  RegisterStruct<PluginLcdsEvent>(registry, "PluginLcdsEvent")
      .Field("clientId", &PluginLcdsEvent::clientId)
      .Field("subtopic", &PluginLcdsEvent::subtopic)
      .Field("typeName", &PluginLcdsEvent::typeName)
      .Field("body", &PluginLcdsEvent::body)
      .Tags(tags);
  RegisterStruct<PluginLcdsResponse>(registry, "PluginLcdsResponse")
      .Field("typeName", &PluginLcdsResponse::typeName)
      .Field("body", &PluginLcdsResponse::body)
      .Tags(tags);
  RegisterStruct<PluginServiceProxyResponse>(registry, "PluginServiceProxyResponse")
      .Field("uuid", &PluginServiceProxyResponse::uuid)
      .Field("serviceName", &PluginServiceProxyResponse::serviceName)
      .Field("methodName", &PluginServiceProxyResponse::methodName)
      .Field("payload", &PluginServiceProxyResponse::payload)
      .Field("status", &PluginServiceProxyResponse::status)
      .Field("error", &PluginServiceProxyResponse::error)
      .Tags(tags);

  struct Event {
    const char* name;
    const char* description;
  };
  RegisterEvent<PluginResourceEvent>(registry, "OnJsonApiEvent")
      .SetDescription("Fired when a resource is changed.")
      .AddTag("hclient");
  RegisterEvent<PluginLcdsEvent>(registry, "OnLcdsEvent")
      .SetDescription("Fired when a message is received over the LCDS connection.")
      .AddTag("hclient");
  const Event proxyEvents[] = {
      {"OnServiceProxyUuidEvent", "Fired when a uuid-based service proxy message is received."},
      {"OnServiceProxyMethodEvent", "Fired when a method-based service proxy message is received."},
      {"OnServiceProxyAsyncEvent", "Fired when an async service proxy message is received."},
  };
  for (const Event& event : proxyEvents) {
    RegisterEvent<PluginServiceProxyResponse>(registry, event.name)
        .SetDescription(event.description)
        .AddTag("hclient");
  }
}

}  // namespace Halden
