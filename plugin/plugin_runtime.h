// The runtime layer of the plugin base: what the plugin needs of the host
// once it is connected (requests, events, subscriptions), reached through
// virtual forwarders that the Plugin layer binds to the host's table.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "api/method.h"
#include "binding/native_conversion.h"
#include "binding/property.h"
#include "boundary/host_interface.h"
#include "plugin/remote_response.h"
#include "plugin/request_parameters.h"
#include "plugin/request_result.h"
#include "plugin/resource_event.h"
#include "plugin/resource_subscriber.h"
#include "plugin/runtime_types.h"
#include "plugin/telemetry_sink.h"
#include "util/in_flight.h"

namespace Halden {

class BindingRegistry;

// Receives the payloads the host delivers under one event name.
class HostEventHandler {
 public:
  virtual ~HostEventHandler() = default;
  // Converts `payload` to the handler's own type and handles it; false, with
  // nothing handled, when it does not convert. The payload's tree holds only
  // kinds that convert (OnHostEvent drops the others).
  virtual bool Handle(const HostValue& payload, const BindingRegistry& registry) = 0;
};

using ServiceProxyHandler = std::function<void(const PluginServiceProxyResponse&)>;

class PluginRuntime : public ResourceSubscriber {
 public:
  virtual ~PluginRuntime();

  // Removes every subscription and handler this runtime holds with the host,
  // then waits for the host events being handled to finish.
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

  // Requests to the host's local JSON API, on the calling thread. Failures
  // come back as an ApiError, never as an exception: "Error response for
  // {method} {url}: {error}" with the host's status when the host reports an
  // error; "Request not sent: Error converting parameters for {method} {url}:
  // {error}" with status 400 when a parameter cannot cross; "Error reading
  // streamed response for {method} {url}: {error}" and "Error converting
  // response for {method} {url}: {error}" when the body cannot be read as T.
  // The host's response is released after use.
  RequestResult<> Request(uint32_t method, const std::string& url);
  template <typename T>
  RequestResult<T> Request(uint32_t method, const std::string& url);
  RequestResult<> RequestWithParameters(uint32_t method, const std::string& url,
                                        const RequestParameters& parameters);

  // An HTTP request carried by the host, its body read as JSON into T (see
  // RemoteResponseStatus for what the result reports). Never throws.
  template <typename T>
  RemoteResponse<T> ExternalRequest(const RemoteRequest& request);
  // The same with the body kept as text.
  RemoteResponse<std::string> ExternalTextRequest(const RemoteRequest& request);

  // Resource events. ObserveResource stores `handler` for `uri` (a URI with
  // "*" is a pattern, see MatchesUriPattern), replacing an earlier one,
  // subscribes to the URI's event name and, for a plain URI, reads the
  // resource at once and hands it to the handler as a Create event, unless
  // an event reached the handler meanwhile: the read is older than that
  // event. Events whose data does not convert to T are dropped, except
  // Deletes, which carry T's default. Handlers run on the host's threads,
  // never under the runtime's locks; a handler replaced or removed while an
  // event is on its way finishes that event.
  //
  // Before the host has initialized the plugin, observers and subscriptions
  // are kept and made with the host (the read too) when it does; requests
  // fail and sends are dropped.
  template <typename T>
  void ObserveResource(const std::string& uri,
                       std::function<void(const ResourceEvent<T>&)> handler);
  // Removes the handler of `uri` and its subscription.
  void UnobserveResource(const std::string& uri);
  // The host subscription behind a URI, counted per event name: the first
  // subscription of a name subscribes with the host, the last one leaves.
  void Subscribe(const std::string& uri) override;
  void Unsubscribe(const std::string& uri) override;
  // Announces an Update of the plugin's resource at `uri` with `value` as its
  // data; nothing is sent when the value does not convert.
  template <typename T>
  void PublishResource(const std::string& uri, const T& value);
  // Sends `payload` under the event name of its URI and, when different,
  // again under `eventName`.
  void SendEvent(const std::string& eventName, const PluginResourceEvent& payload, uint32_t kind);
  // The callback handed to the host for every subscription; the event's user
  // data is the runtime. Never throws: a failing event is dropped.
  static void ZVM_CDECL OnHostEvent(const HostEvent* event);

  // Service-proxy messages. A request waits under its uuid or method key
  // ("service.method") until a message with that key arrives, which is then
  // handed to it once; an asynchronous handler receives every async message
  // of its method key. Handlers run under the proxy lock and must not use
  // these operations themselves; a handler that throws is logged, and
  // neither it nor its caller sees the exception again.
  void AddServiceProxyRequest(const std::string& key, ServiceProxyHandler handler);
  void AddAsyncServiceProxyHandler(const std::string& methodKey, ServiceProxyHandler handler);
  static std::string ServiceProxyMethodKey(const PluginServiceProxyResponse& response);

  // Posts telemetry events through the host; created when the plugin is
  // initialized.
  TelemetrySink* Telemetry() const { return telemetry.get(); }

  const std::string& UserAgent() const { return userAgent; }
  const std::string& ShortName() const { return shortName; }
  uintptr_t HostToken() const { return hostToken; }

 protected:
  // Keeps what the runtime needs once the host has initialized the plugin.
  // Also creates the telemetry sink, registers the service-proxy handlers
  // with the host, and makes the subscriptions and reads asked for before.
  void Connect(uintptr_t token, const std::string& name, const std::string& agent);
  void UseRegistry(BindingRegistry* types) { registry = types; }

  BindingRegistry* registry = nullptr;
  uintptr_t hostToken = 0;
  std::string shortName;
  std::string userAgent;

 private:
  // A resource event as routed: its data not yet converted to an
  // observer's type.
  struct RoutedEvent {
    std::string_view uri;
    PluginResourceEventType eventType;
    const HostValue& data;
  };
  using ResourceHandler = std::function<void(const RoutedEvent&)>;
  // Whether an event reached one observer: its first read is delivered
  // only before any event, and under `lock`, so that an event arriving
  // meanwhile waits for it. Recursive: the handler may cause an event for
  // itself on its own thread. The flag never clears, so an event that finds
  // it set need not take the lock.
  struct ObserverState {
    std::recursive_mutex lock;
    std::atomic<bool> eventSeen = false;
  };
  // Event names and URIs are looked up without a copy.
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>()(text);
    }
  };
  using ObserverTable = std::unordered_map<std::string, std::shared_ptr<const ResourceHandler>,
                                           TextHash, std::equal_to<>>;

  void StoreObserver(const std::string& uri, std::shared_ptr<const ResourceHandler> handler);
  // Runs `read` now, or once the host has initialized the plugin.
  void ReadWhenConnected(std::function<void()> read);
  void RouteResourceEvent(std::string_view uri, PluginResourceEventType eventType,
                          const HostValue& data);
  class ResourceEventHandler;
  // PublishResource's compiled body: the event written straight into the
  // host's tree, its data from `value` by `converter`.
  void PublishWith(const std::string& uri, const BindingConverter& converter, const void* value,
                   const BindingTypeDescriptor* type);
  // Sends `payload`, which it then releases, under the event name of `uri`
  // and, when different, again under `eventName`.
  void SendHostEvent(const std::string& eventName, const std::string& uri, HostValue payload,
                     uint32_t kind);
  void AddHostHandler(const std::string& name, std::shared_ptr<HostEventHandler> handler,
                      uint32_t kind);
  void ConnectServiceProxies();
  void OnServiceProxyMessage(const PluginServiceProxyResponse& response, bool byUuid);
  void OnAsyncServiceProxyMessage(const PluginServiceProxyResponse& response);
  void Fulfil();
  void CallProxyHandler(const ServiceProxyHandler& handler,
                        const PluginServiceProxyResponse& response);
  void StopEvents();

  // Sends the request and leaves the host's answer in `response`; the caller
  // uses and releases it (ReleaseResponse).
  RequestResult<> Send(uint32_t method, const std::string& url, const RequestParameters& parameters,
                       JsonApiResponse& response);
  static void ReleaseResponse(JsonApiResponse& response);
  // The body of a successful answer, streamed or as a value.
  RequestResult<BindingProperty> ReadBody(uint32_t method, const std::string& url,
                                          JsonApiResponse& response);
  // Collects the streamed body into `text`; false with `error` set when the
  // host's read fails or the body cannot be kept.
  bool ReadStream(const JsonApiResponse& response, std::string& text, std::string& error);
  RequestResult<BindingProperty> RequestProperty(uint32_t method, const std::string& url);
  static ApiError ConversionError(uint32_t method, const std::string& url,
                                  const std::string& error);

  // Carries `request` and fills `out`; the body is parsed as JSON into
  // `json` when not null, copied into `text` otherwise. `label` is the
  // request's "METHOD url".
  void SendExternal(const RemoteRequest& request, RemoteResponseStatus& out, BindingResult* json,
                    std::string* text, std::string& label);
  static void ConvertFailed(RemoteResponseStatus& out, const std::string& label,
                            const char* typeName, const std::string& error);

  // The event tables, guarded by eventLock, which is held only to read or
  // change them. subscriptionLock keeps each subscription change and its
  // host call together, and guards the host's subscriptions and first reads
  // asked for before Connect.
  std::mutex eventLock;
  std::recursive_mutex subscriptionLock;
  bool connected = false;
  // Set by StopEvents: the runtime is going away, and a subscription or
  // first read asked for later (by a call or a handler still running) is
  // dropped, not made with the host.
  bool stopped = false;
  std::map<std::string, uint32_t> deferredSubscriptions;
  std::vector<std::function<void()>> deferredReads;
  ObserverTable exactObservers;
  ObserverTable wildcardObservers;
  using HandlerTable =
      std::unordered_map<std::string, std::shared_ptr<HostEventHandler>, TextHash, std::equal_to<>>;
  HandlerTable hostHandlers;
  std::map<std::string, uint32_t> subscriptionCounts;
  // Host events being handled: the plugin is destroyed once StopEvents
  // returns, so it waits for them. Counted under eventLock, with the
  // handler found.
  InFlight eventsRunning;

  std::mutex proxyLock;
  std::map<std::string, ServiceProxyHandler> pendingRequests;
  std::map<std::string, ServiceProxyHandler> asyncHandlers;
  std::map<std::string, PluginServiceProxyResponse> receivedResponses;

  std::unique_ptr<TelemetrySink> telemetry;
};

// Converts a part of an event's payload, whose kinds OnHostEvent has
// already checked, into `value`; false when it does not convert.
template <typename T>
bool ReadCheckedPayload(const HostValue& input, T& value, const std::string& memberName,
                        const BindingTypeDescriptor* type, const BindingRegistry& registry) {
  BindingResult result;
  NativeConverter<T>().FromHostValue(result, &value, input, memberName, type, &registry, 0);
  return result.Ok();
}

// A host handler for payloads of type T.
template <typename T>
class TypedHostEventHandler final : public HostEventHandler {
 public:
  explicit TypedHostEventHandler(std::function<void(const T&)> function)
      : function(std::move(function)) {}
  bool Handle(const HostValue& payload, const BindingRegistry& registry) override {
    T value{};
    if (!ReadCheckedPayload(payload, value, "<result>", TypeRefOf<T>(registry).descriptor,
                            registry)) {
      return false;
    }
    function(value);
    return true;
  }

 private:
  std::function<void(const T&)> function;
};

template <typename T>
void PluginRuntime::ObserveResource(const std::string& uri,
                                    std::function<void(const ResourceEvent<T>&)> handler) {
  const BindingRegistry* types = registry;
  // Looked up once: every event of the observer converts to the same type.
  const BindingTypeDescriptor* type = TypeRefOf<T>(*types).descriptor;
  auto state = std::make_shared<ObserverState>();
  auto adapter = std::make_shared<const ResourceHandler>(
      [types, type, handler, state](const RoutedEvent& event) {
        ResourceEvent<T> typed{std::string(event.uri), event.eventType, T{}};
        if (event.eventType != PluginResourceEventType::Delete &&
            !ReadCheckedPayload(event.data, typed.data, "<value>", type, *types)) {
          return;
        }
        if (!state->eventSeen) {
          std::lock_guard lock(state->lock);
          state->eventSeen = true;
        }
        handler(typed);
      });
  StoreObserver(uri, adapter);
  Subscribe(uri);
  if (uri.find('*') != std::string::npos) return;
  // An observer removed or replaced before its read is made gets none.
  std::weak_ptr<const ResourceHandler> stored = adapter;
  ReadWhenConnected([this, uri, handler, state, stored] {
    if (stored.expired()) return;
    RequestResult<T> current = Request<T>(kMethodGet, uri);
    if (!current.Ok()) return;
    std::lock_guard lock(state->lock);
    if (state->eventSeen) return;
    handler(ResourceEvent<T>{uri, PluginResourceEventType::Create, std::move(current.Value())});
  });
}

template <typename T>
void PluginRuntime::PublishResource(const std::string& uri, const T& value) {
  const NativeConverter<T> converter;
  PublishWith(uri, converter, &value, TypeRefOf<T>(*registry).descriptor);
}

template <typename T>
RequestResult<T> PluginRuntime::Request(uint32_t method, const std::string& url) {
  RequestResult<BindingProperty> body = RequestProperty(method, url);
  if (!body.Ok()) return body.Error();
  if constexpr (std::is_same_v<T, BindingProperty>) {
    return std::move(body.Value());
  } else {
    try {
      T value{};
      const BindingResult converted =
          ConvertFromProperty(*registry, body.Value(), value, "<result>");
      if (!converted.Ok()) return ConversionError(method, url, converted.Error());
      return value;
    } catch (const std::exception& e) {
      return ConversionError(method, url, e.what());
    }
  }
}

template <typename T>
RemoteResponse<T> PluginRuntime::ExternalRequest(const RemoteRequest& request) {
  RemoteResponse<T> response;
  BindingResult json;
  std::string label;
  SendExternal(request, response, &json, nullptr, label);
  if (response.parseError != 0) return response;
  try {
    const BindingResult converted =
        ConvertFromProperty(*registry, json, response.value, "<result>");
    response.conversionError = converted.Ok() ? 0 : 1;
    if (!converted.Ok()) {
      const BindingTypeDescriptor* type = TypeRefOf<T>(*registry).descriptor;
      ConvertFailed(response, label,
                    type != nullptr ? type->name.c_str() : TypeCodeName(TypeCodeOf<T>()),
                    converted.Error());
    }
  } catch (const std::exception& e) {
    response.conversionError = 1;
    ConvertFailed(response, label, "", e.what());
  }
  return response;
}

}  // namespace Halden
