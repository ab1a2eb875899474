// The runtime's resource events: observers, host subscriptions, routing of
// incoming events and publishing of the plugin's own.
#include <cstring>
#include <exception>

#include "binding/converter_input.h"
#include "binding/host_value_conversion.h"
#include "binding/native_conversion.h"
#include "boundary/owned_host_value.h"
#include "logging/trace.h"
#include "plugin/event_name.h"
#include "plugin/plugin_runtime.h"

namespace Halden {

// Receives the resource events of one subscribed event name. The payload is
// read as a PluginResourceEvent would be converted from it (missing members
// keep their defaults, a wrong kind drops the event), but its data is routed
// as it is: each observer converts it to its own type.
class PluginRuntime::ResourceEventHandler final : public HostEventHandler {
 public:
  ResourceEventHandler(PluginRuntime& owner, const BindingTypeDescriptor* eventTypes)
      : runtime(owner), eventTypes(eventTypes) {}

  bool Handle(const HostValue& payload, const BindingRegistry& registry) override {
    if (InputKind(payload) != BindingPropertyKind::Structure) return false;
    // Of a host value, only a String converts to the uri's string; its text
    // is routed where it lies.
    std::string_view uri;
    const HostValue& uriValue = InputMember(payload, "uri");
    if (InputKind(uriValue) == BindingPropertyKind::String) {
      uri = InputScalar(uriValue).text;
    } else if (InputKind(uriValue) != BindingPropertyKind::Empty) {
      return false;
    }
    PluginResourceEventType eventType = PluginResourceEventType::Create;
    const HostValue& typeValue = InputMember(payload, "eventType");
    if (InputKind(typeValue) != BindingPropertyKind::Empty &&
        !ReadCheckedPayload(typeValue, eventType, "eventType", eventTypes, registry)) {
      return false;
    }
    runtime.RouteResourceEvent(uri, eventType, InputMember(payload, "data"));
    return true;
  }

 private:
  PluginRuntime& runtime;
  // The enumeration of event types, looked up once.
  const BindingTypeDescriptor* eventTypes;
};

void PluginRuntime::StoreObserver(const std::string& uri,
                                  std::shared_ptr<const ResourceHandler> handler) {
  std::lock_guard lock(eventLock);
  ObserverTable& table = uri.find('*') != std::string::npos ? wildcardObservers : exactObservers;
  table[uri] = std::move(handler);
}

void PluginRuntime::UnobserveResource(const std::string& uri) {
  {
    std::lock_guard lock(eventLock);
    ObserverTable& table = uri.find('*') != std::string::npos ? wildcardObservers : exactObservers;
    if (table.erase(uri) == 0) return;
  }
  Unsubscribe(uri);
}

void PluginRuntime::Subscribe(const std::string& uri) {
  std::lock_guard subscription(subscriptionLock);
  const std::string name = EventNameForUri(uri);
  {
    std::lock_guard lock(eventLock);
    if (++subscriptionCounts[name] != 1) return;
  }
  Trace("%s: Subscribing to event: %s", shortName.c_str(), name.c_str());
  AddHostHandler(name,
                 std::make_shared<ResourceEventHandler>(
                     *this, TypeRefOf<PluginResourceEventType>(*registry).descriptor),
                 0);
}

void PluginRuntime::Unsubscribe(const std::string& uri) {
  std::lock_guard subscription(subscriptionLock);
  const std::string name = EventNameForUri(uri);
  {
    std::lock_guard lock(eventLock);
    auto count = subscriptionCounts.find(name);
    if (count == subscriptionCounts.end() || count->second == 0 || --count->second != 0) return;
    hostHandlers.erase(name);
  }
  Trace("%s: Unsubscribing to event: %s", shortName.c_str(), name.c_str());
  // Before Connect the host never heard of it.
  if (connected) HostUnsubscribe(name.c_str(), hostToken);
}

void PluginRuntime::AddHostHandler(const std::string& name,
                                   std::shared_ptr<HostEventHandler> handler, uint32_t kind) {
  std::lock_guard subscription(subscriptionLock);
  if (stopped) return;
  {
    std::lock_guard lock(eventLock);
    hostHandlers[name] = std::move(handler);
  }
  if (!connected) {
    deferredSubscriptions.insert_or_assign(name, kind);
    return;
  }
  HostSubscribe(name.c_str(), hostToken, &OnHostEvent, reinterpret_cast<uintptr_t>(this), kind);
}

void PluginRuntime::ReadWhenConnected(std::function<void()> read) {
  {
    std::lock_guard subscription(subscriptionLock);
    if (stopped) return;
    if (!connected) {
      deferredReads.push_back(std::move(read));
      return;
    }
  }
  read();
}

void ZVM_CDECL PluginRuntime::OnHostEvent(const HostEvent* event) {
  if (event == nullptr || event->name == nullptr || event->userData == 0) return;
  try {
    auto& runtime = *reinterpret_cast<PluginRuntime*>(event->userData);
    std::unique_lock lock(runtime.eventLock);
    const auto found = runtime.hostHandlers.find(std::string_view(event->name));
    if (found == runtime.hostHandlers.end()) return;
    // Counted before the handler is held, so that the handler is let go
    // before Stop can return.
    const InFlight::Scope running(runtime.eventsRunning);
    const std::shared_ptr<HostEventHandler> handler = found->second;
    lock.unlock();
    Trace("%s: Handling event %s", runtime.shortName.c_str(), event->name);
    // Handlers read the payload where it is; a tree that would not convert
    // as a whole is dropped before any of it is read.
    if (const HostValue* refused = FindUnconvertibleHostValue(event->payload)) {
      Trace("%s: Couldn't convert payload %s for event %s: %s", runtime.shortName.c_str(),
            "<result>", event->name,
            IncompatibleHostValueMessage("<result>", refused->kind).c_str());
      return;
    }
    handler->Handle(event->payload, *runtime.registry);
  } catch (...) {
    // An event the plugin cannot take is dropped; the host never sees why.
  }
}

void PluginRuntime::RouteResourceEvent(std::string_view uri, PluginResourceEventType eventType,
                                       const HostValue& data) {
  std::string rooted;
  if (uri.empty() || uri[0] != '/') {
    rooted.append("/").append(uri);
    uri = rooted;
  }
  std::shared_ptr<const ResourceHandler> exact;
  std::vector<std::shared_ptr<const ResourceHandler>> wildcards;
  {
    std::lock_guard lock(eventLock);
    const auto found = exactObservers.find(uri);
    if (found != exactObservers.end()) exact = found->second;
    for (const auto& [pattern, handler] : wildcardObservers) {
      if (MatchesUriPattern(pattern, uri)) wildcards.push_back(handler);
    }
  }
  const RoutedEvent event{uri, eventType, data};
  // One observer's failure is its own: the others still get the event.
  auto deliver = [&event](const ResourceHandler& handler) {
    try {
      handler(event);
    } catch (...) {
    }
  };
  if (exact) deliver(*exact);
  for (const auto& handler : wildcards) deliver(*handler);
}

void PluginRuntime::SendEvent(const std::string& eventName, const PluginResourceEvent& payload,
                              uint32_t kind) {
  OwnedHostValue written;
  if (WriteHostValue(*registry, payload, written.Hold())) {
    SendHostEvent(eventName, payload.uri, written.Give(), kind);
    return;
  }
  // The way through a property, for what it has to say.
  const BindingResult converted = ConvertToProperty(*registry, payload);
  if (!converted.Ok()) {
    Trace("%s: Couldn't convert resource %s for event uri \"%s\"", shortName.c_str(),
          "PluginResourceEvent", payload.uri.c_str());
    return;
  }
  HostValue host{};
  if (!PropertyToHostValue(converted, host, registry)) return;
  SendHostEvent(eventName, payload.uri, host, kind);
}

void PluginRuntime::PublishWith(const std::string& uri, const BindingConverter& converter,
                                const void* value, const BindingTypeDescriptor* type) {
  PluginResourceEvent event{uri, PluginResourceEventType::Update, {}};
  OwnedHostValue payload;
  // The event without data, then its data member (Empty so far) written in.
  if (WriteHostValue(*registry, event, payload.Hold())) {
    HostValue& written = payload.Hold();
    for (uint32_t i = 0; i < written.structure.count; ++i) {
      HostMemberEntry& entry = written.structure.entries[i];
      if (std::strcmp(entry.key, "data") != 0) continue;
      if (converter.ToHostValue({entry.value, registry, 1}, value, type)) {
        SendHostEvent("OnJsonApiEvent", uri, payload.Give(), 0);
        return;
      }
    }
  }
  BindingResult data = ConvertToPropertyWith(converter, value, type, *registry);
  if (!data.Ok()) return;
  event.data = std::move(static_cast<BindingProperty&>(data));
  SendEvent("OnJsonApiEvent", event, 0);
}

// The payload is the send's: released after both sends.
void PluginRuntime::SendHostEvent(const std::string& eventName, const std::string& uri,
                                  HostValue payload, uint32_t kind) {
  HostEvent event{};
  event.payload = payload;
  struct Release {
    HostValue& value;
    ~Release() { ReleaseHostValue(value); }
  } release{event.payload};
  const std::string specific = EventNameForUri(uri);
  event.kind = kind;
  event.name = specific.c_str();
  Trace("%s: Sending event: %s", shortName.c_str(), specific.c_str());
  HostSendEvent(&event);
  if (eventName != specific) {
    event.name = eventName.c_str();
    HostSendEvent(&event);
  }
}

void PluginRuntime::StopEvents() {
  {
    // A subscription made meanwhile would leave the host calling a runtime
    // that is going away.
    std::lock_guard subscription(subscriptionLock);
    stopped = true;
    HandlerTable handlers;
    {
      std::lock_guard lock(eventLock);
      handlers.swap(hostHandlers);
      exactObservers.clear();
      wildcardObservers.clear();
    }
    if (connected) {
      for (const auto& [name, handler] : handlers) HostUnsubscribe(name.c_str(), hostToken);
    }
    deferredSubscriptions.clear();
    deferredReads.clear();
    std::lock_guard lock(proxyLock);
    pendingRequests.clear();
    asyncHandlers.clear();
    receivedResponses.clear();
  }
  // Events the host delivered before it let go finish first; a handler may
  // still take the locks above.
  eventsRunning.WaitIdle();
}

}  // namespace Halden
