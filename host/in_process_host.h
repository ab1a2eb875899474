// Our stand-in for the client's core: loads the plugin library, registers
// it, implements the host function table and drives the plugin's lifecycle
// callbacks. A test holds a conversation with the plugin through it: it
// scripts the resources the host answers from and the external HTTP
// service, calls the plugin's endpoints through the API table like the core
// does, and reads back every call, request and logged line.
//
// The host functions may be called on any thread; the host's records are
// guarded by one lock, which is never held while a test's handler runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "api/route.h"
#include "boundary/api_table.h"
#include "boundary/host_interface.h"
#include "host/host_records.h"

namespace Halden::host {

class InProcessHost {
 public:
  InProcessHost();
  ~InProcessHost();
  InProcessHost(const InProcessHost&) = delete;
  InProcessHost& operator=(const InProcessHost&) = delete;

  // Loads the library at `path` and calls its export `exportName` with a
  // registration record carrying the core's version. False with Error() set
  // on failure.
  bool Load(const std::string& path, const std::string& exportName, uint32_t major = 18,
            uint32_t minor = 0, uint32_t patch = 0);
  // Registers through an export already in this process (for tests).
  using Export = void(ZVM_CDECL*)(PluginRegistration* registration);
  bool Register(Export load, uint32_t major = 18, uint32_t minor = 0, uint32_t patch = 0);
  const std::string& Error() const { return error; }
  const PluginRegistration& Registration() const { return registration; }
  const ApiTable* Table() const { return static_cast<const ApiTable*>(registration.apiTable); }

  bool Initialize(uintptr_t hostToken = 0x5eed);
  // Seven counters: peak bytes, live blocks, bytes allocated, allocations,
  // bytes freed, frees, 0. They stay readable after Shutdown, until Unload:
  // what the library still holds then is what it leaks.
  std::vector<uint64_t> GetMemoryStats();
  void Shutdown();
  // Shuts the plugin down if it is not yet, forgets its subscriptions and
  // unloads its library, so that Load reads the file again (a rebuilt
  // library, say). The resources, handlers and listeners stay.
  void Unload();

  // Requests for `path` (matched without the query) get `answer`; other
  // paths an error "Resource not found" with status 404.
  void SetResource(const std::string& path, ResourceAnswer answer);
  void SetResourceBody(const std::string& path, const BindingProperty& body);
  void SetResourceError(const std::string& path, uint32_t status, const std::string& text);
  void RemoveResource(const std::string& path);
  std::vector<RecordedRequest> Requests() const;
  // Responses, local and external, that in-process hosts filled and the
  // plugin has not yet released: a plugin that forgets one leaks the host's
  // memory.
  static int UnreleasedResponses();
  // Sees every request to the local JSON API (telemetry posts included)
  // with the answer the resources above give it (a success without a body
  // for telemetry), and returns the answer the plugin gets: a development
  // host records the pair, a replay answers from its recording. Called on
  // the requesting thread without the host's lock held; set it before the
  // plugin makes requests.
  using ResourceFilter =
      std::function<ResourceAnswer(const RecordedRequest& request, ResourceAnswer answer)>;
  void SetResourceFilter(ResourceFilter filter);

  // Answers the plugin's external requests; without a handler every one
  // fails with transport code 1 and the body "no handler".
  using ExternalHandler = std::function<ExternalAnswer(const ExternalCall&)>;
  void SetExternalHandler(ExternalHandler handler);
  std::vector<ExternalCall> ExternalCalls() const;

  // Calls the entry whose method and path template match `request` (the
  // path taken without its query), as the core does, reads the response and
  // calls the release function the plugin put into it. `found` is false when
  // no entry matches, or once the plugin is shut down.
  CallResponse Call(const CallRequest& request);
  CallResponse Call(uint32_t method, const std::string& path, const std::string& contentType = "",
                    const std::string& body = "");
  // Calls a given entry, whatever its template.
  CallResponse CallEntry(const ApiEndpointEntry& entry, const CallRequest& request);

  // The plugin's subscriptions, in the order made (removed ones left out).
  std::vector<HostSubscription> Subscriptions() const;
  // Delivers an event under `name` to every subscriber of that name, with
  // the subscriber's user data, on the calling thread (any thread may
  // deliver). The payload is converted to a host value for the call.
  // Returns the number of subscribers reached.
  int Deliver(const std::string& name, const BindingProperty& payload, uint32_t kind = 0);
  // A resource event: {uri, eventType, data} under the URI's event name;
  // `eventType` is "Create", "Update" or "Delete".
  int DeliverResourceEvent(const std::string& uri, const std::string& eventType,
                           const BindingProperty& data);
  // Every event the plugin sent, in order.
  std::vector<SentEvent> SentEvents() const;
  // Posts to "/telemetry/v1/events/<name>": the event name and the payload
  // (the request's parameters as JSON). They are answered with success.
  std::vector<std::pair<std::string, std::string>> TelemetryPosts() const;

  // Names of the host functions the plugin called, in call order, and
  // "StreamClose" for each streamed body the plugin closed.
  std::vector<std::string> Calls() const;
  std::vector<LoggedLine> Lines() const;
  // The label and word of each BeginWait.
  std::vector<std::pair<std::string, uint32_t>> Waits() const;

  // A host that runs for long keeps no records: with recording off the
  // calls, lines, requests, external calls, sent events and telemetry posts
  // above are no longer kept. On by default.
  void SetRecording(bool on);
  // Called with every event the plugin sends and every line it logs, on the
  // plugin's calling thread and without the host's lock held; set them
  // before Initialize.
  void SetEventListener(std::function<void(const SentEvent&)> listener);
  void SetLogListener(std::function<void(const LoggedLine&)> listener);
  // Called with the URL of each request to the local JSON API before it is
  // answered, on the requesting thread and without the host's lock held: a
  // test holds the answer back there while it delivers events. Set it
  // before the plugin makes requests.
  void SetRequestHook(std::function<void(const std::string& url)> hook);

  // Records one host call by name.
  void Record(const char* call);

 private:
  struct FunctionTable {
    HostFunctions functions;
    InProcessHost* host;
  };
  static InProcessHost& From(const HostFunctions* self);
  void RecordLine(const LoggedLine& line);
  void RecordWait(std::string label, uint32_t word);
  void AnswerRequest(JsonApiResponse* response, const JsonApiRequest* request);
  void AnswerExternal(ExternalResponseRecord* response, const ExternalRequestRecord* request);
  void AddSubscription(HostSubscription subscription);
  void RemoveSubscription(const std::string& name, uintptr_t token);
  void RecordEvent(const HostEvent* event);

  void* library = nullptr;
  PluginRegistration registration{};
  // A copy: the plugin's own table goes with the instance at Shutdown.
  PluginCallbacks callbacks{};
  FunctionTable table{};
  HostApi api{};
  std::atomic<bool> shutDown{false};
  std::string error;
  mutable std::mutex lock;
  std::vector<std::string> calls;
  std::vector<LoggedLine> lines;
  std::vector<std::pair<std::string, uint32_t>> waits;
  std::map<std::string, ResourceAnswer> resources;
  std::vector<RecordedRequest> requests;
  ExternalHandler externalHandler;
  std::vector<ExternalCall> externalCalls;
  std::vector<HostSubscription> subscriptions;
  std::vector<SentEvent> sentEvents;
  std::vector<std::pair<std::string, std::string>> telemetryPosts;
  bool recording = true;
  std::function<void(const SentEvent&)> eventListener;
  std::function<void(const LoggedLine&)> logListener;
  std::function<void(const std::string&)> requestHook;
  ResourceFilter resourceFilter;
  // One per entry of the API table, made at registration.
  std::vector<Route> routes;
};

}  // namespace Halden::host
