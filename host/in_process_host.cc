#include "host/in_process_host.h"

#include "platform/shared_library.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "api/method.h"
#include "api/route.h"
#include "binding/host_value_conversion.h"
#include "formats/host_value_to_json.h"
#include "formats/property_to_json.h"
#include "plugin/event_name.h"

namespace Halden::host {
namespace {

char* CopyText(const std::string& text) {
  char* copy = new char[text.size() + 1];
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

std::string TextOf(const char* text) { return text != nullptr ? text : ""; }

// Responses filled for a plugin that it has not released yet.
std::atomic<int> unreleasedResponses{0};

// A body the host streams to the plugin.
struct HostStream {
  InProcessHost* host;
  std::string data;
  std::size_t position = 0;
  uint32_t chunkSize;
  uint32_t chunks = 0;
  uint32_t failAtChunk;
  uint32_t overReport;
};

bool ZVM_CDECL ReadHostStream(void* handle, char* buffer, uint32_t* length, bool* moreData) {
  auto& stream = *static_cast<HostStream*>(handle);
  if (++stream.chunks == stream.failAtChunk) return false;
  const std::size_t count =
      std::min<std::size_t>({*length, stream.chunkSize, stream.data.size() - stream.position});
  std::memcpy(buffer, stream.data.data() + stream.position, count);
  stream.position += count;
  *length = static_cast<uint32_t>(count) + stream.overReport;
  *moreData = stream.position < stream.data.size();
  return true;
}

void ZVM_CDECL CloseHostStream(void* handle) {
  static_cast<HostStream*>(handle)->host->Record("StreamClose");
}

void ZVM_CDECL ReleaseHostResponse(JsonApiResponse* response) {
  --unreleasedResponses;
  response->release = nullptr;
  ReleaseHostValue(response->body);
  delete[] response->errorText;
  response->errorText = nullptr;
  delete static_cast<HostStream*>(response->streamHandle);
  response->streamHandle = nullptr;
}

void ZVM_CDECL ReleaseExternalResponse(ExternalResponseRecord* response) {
  --unreleasedResponses;
  response->release = nullptr;
  delete[] response->body;
  response->body = nullptr;
  if (response->headers != nullptr) {
    for (uint32_t i = 0; i < response->headerCount; ++i) {
      delete[] response->headers[i].name;
      delete[] response->headers[i].value;
    }
    delete[] response->headers;
  }
  response->headers = nullptr;
}

// A host value the plugin sent, as compact JSON, or its conversion's failure.
std::string JsonOf(const HostValue& value) {
  std::string json;
  if (HostValueToJson(value, json)) return json;
  return "<" + IncompatibleHostValueMessage("<value>", FindUnconvertibleHostValue(value)->kind) +
         ">";
}

}  // namespace

InProcessHost::InProcessHost() {
  table.host = this;
  HostFunctions& f = table.functions;
  f.Request = [](const HostFunctions* self, JsonApiResponse* response,
                 const JsonApiRequest* request) { From(self).AnswerRequest(response, request); };
  f.ExternalRequest = [](const HostFunctions* self, ExternalResponseRecord* response,
                         const ExternalRequestRecord* request) {
    From(self).AnswerExternal(response, request);
  };
  f.SendEvent = [](const HostFunctions* self, const HostEvent* event) {
    From(self).RecordEvent(event);
  };
  f.Subscribe = [](const HostFunctions* self, const char* name, uintptr_t token,
                   HostEventCallback callback, uintptr_t userData, uint32_t kind) {
    From(self).AddSubscription({TextOf(name), token, callback, userData, kind});
  };
  f.Unsubscribe = [](const HostFunctions* self, const char* name, uintptr_t token) {
    From(self).RemoveSubscription(TextOf(name), token);
  };
  f.Reserved = [](const HostFunctions* self, uint32_t, uint32_t, uint32_t, double, uint32_t) {
    From(self).Record("Reserved");
  };
  f.Yield = [](const HostFunctions* self) { From(self).Record("Yield"); };
  f.BeginWait = [](const HostFunctions* self, const char* label, uint32_t word) {
    From(self).RecordWait(TextOf(label), word);
  };
  f.EndWait = [](const HostFunctions* self) { From(self).Record("EndWait"); };
  f.Log = [](const HostFunctions* self, uint32_t level, const char* message) {
    From(self).RecordLine({level, TextOf(message)});
  };
}

// Like the client's core, the host keeps a loaded library until the process
// ends, unless told to Unload it; loading the same path again reuses it.
InProcessHost::~InProcessHost() { Shutdown(); }

InProcessHost& InProcessHost::From(const HostFunctions* self) {
  // The function table is the first member of the host's table record.
  return *reinterpret_cast<const FunctionTable*>(self)->host;
}

void InProcessHost::Record(const char* call) {
  std::lock_guard guard(lock);
  if (recording) calls.emplace_back(call);
}

void InProcessHost::RecordWait(std::string label, uint32_t word) {
  std::lock_guard guard(lock);
  if (!recording) return;
  calls.emplace_back("BeginWait");
  waits.emplace_back(std::move(label), word);
}

void InProcessHost::RecordLine(const LoggedLine& line) {
  {
    std::lock_guard guard(lock);
    if (recording) {
      calls.emplace_back("Log");
      lines.push_back(line);
    }
  }
  if (logListener) logListener(line);
}

bool InProcessHost::Load(const std::string& path, const std::string& exportName, uint32_t major,
                         uint32_t minor, uint32_t patch) {
  library = platform::LoadSharedLibrary(path, error);
  if (library == nullptr) return false;
  auto load = reinterpret_cast<Export>(platform::FindExport(library, exportName.c_str()));
  if (load == nullptr) {
    error = exportName + " not exported by " + path;
    return false;
  }
  return Register(load, major, minor, patch);
}

bool InProcessHost::Register(Export load, uint32_t major, uint32_t minor, uint32_t patch) {
  registration = {};
  registration.coreMajor = major;
  registration.coreMinor = minor;
  registration.corePatch = patch;
  load(&registration);
  if (registration.instance == nullptr || registration.callbacks == nullptr) {
    // Without callbacks an instance cannot be shut down: it is not kept.
    registration = {};
    error = "registration failed";
    return false;
  }
  callbacks = *registration.callbacks;
  // The table is fixed from here on: its routes are made once.
  routes.clear();
  for (uint32_t i = 0; Table() != nullptr && i < Table()->entryCount; ++i) {
    const ApiEndpointEntry& entry = Table()->entries[i];
    routes.push_back(MakeRoute(entry.method, TextOf(entry.methodName), TextOf(entry.pathTemplate)));
  }
  return true;
}

bool InProcessHost::Initialize(uintptr_t hostToken) {
  api.functions = &table.functions;
  api.hostToken = hostToken;
  // An 8-bit bool: a host that declares it bool can rely on 1 alone.
  return callbacks.Initialize(registration.instance, &api) == 1;
}

std::vector<uint64_t> InProcessHost::GetMemoryStats() {
  std::vector<uint64_t> stats(7);
  if (callbacks.GetMemoryStats != nullptr) {
    callbacks.GetMemoryStats(registration.instance, stats.data());
  }
  return stats;
}

void InProcessHost::Shutdown() {
  if (shutDown || registration.instance == nullptr) return;
  shutDown = true;
  callbacks.Shutdown(registration.instance);
}

void InProcessHost::Unload() {
  Shutdown();
  {
    std::lock_guard guard(lock);
    subscriptions.clear();
  }
  if (library != nullptr) platform::UnloadSharedLibrary(library);
  library = nullptr;
  registration = {};
  callbacks = {};
  routes.clear();
  shutDown = false;
}

void InProcessHost::SetResource(const std::string& path, ResourceAnswer answer) {
  std::lock_guard guard(lock);
  resources[path] = std::move(answer);
}

void InProcessHost::SetResourceBody(const std::string& path, const BindingProperty& body) {
  ResourceAnswer answer;
  answer.body = body;
  SetResource(path, std::move(answer));
}

void InProcessHost::SetResourceError(const std::string& path, uint32_t status,
                                     const std::string& text) {
  ResourceAnswer answer;
  answer.fails = true;
  answer.status = status;
  answer.error = text;
  SetResource(path, std::move(answer));
}

void InProcessHost::RemoveResource(const std::string& path) {
  std::lock_guard guard(lock);
  resources.erase(path);
}

int InProcessHost::UnreleasedResponses() { return unreleasedResponses; }

std::vector<RecordedRequest> InProcessHost::Requests() const {
  std::lock_guard guard(lock);
  return requests;
}

void InProcessHost::AnswerRequest(JsonApiResponse* response, const JsonApiRequest* request) {
  const std::string url = TextOf(request->url);
  if (requestHook) requestHook(url);
  // In the request's order, names escaped and an empty value null.
  std::string parameters = "{";
  for (uint32_t i = 0; i < request->parameterCount; ++i) {
    if (i > 0) parameters += ",";
    BindingProperty name;
    name.SetString(TextOf(request->parameters[i].name));
    const std::string value = JsonOf(request->parameters[i].value);
    // Appended piece by piece: GCC 12 warns wrongly on a chain of + here.
    parameters += PropertyToJson(name, nullptr, nullptr);
    parameters += ':';
    parameters += value.empty() ? "null" : value;
  }
  parameters += "}";
  const RecordedRequest recorded{request->method, url, parameters, request->hostToken};
  ResourceAnswer answer;
  ResourceFilter filter;
  {
    std::lock_guard guard(lock);
    if (recording) {
      calls.emplace_back("Request");
      requests.push_back(recorded);
    }
    filter = resourceFilter;
    constexpr std::string_view kTelemetry = "/telemetry/v1/events/";
    if (url.starts_with(kTelemetry)) {
      if (recording) telemetryPosts.emplace_back(url.substr(kTelemetry.size()), parameters);
      answer.status = 0;
    } else if (const auto found = resources.find(url.substr(0, url.find('?')));
               found != resources.end()) {
      answer = found->second;
    } else {
      answer.fails = true;
      answer.status = 404;
      answer.error = "Resource not found";
    }
  }
  if (filter) answer = filter(recorded, std::move(answer));
  response->release = &ReleaseHostResponse;
  ++unreleasedResponses;
  response->status = answer.status;
  if (answer.fails) {
    response->errorText = CopyText(answer.error);
  } else if (answer.stream) {
    response->streamHandle = new HostStream{
        this, answer.streamed, 0, answer.chunkSize, 0, answer.failAtChunk, answer.overReport};
    response->streamRead = &ReadHostStream;
    response->streamClose = &CloseHostStream;
    response->expectedLength = answer.expectedLength;
  } else {
    PropertyToHostValue(answer.body, response->body, nullptr);
  }
}

void InProcessHost::SetExternalHandler(ExternalHandler handler) {
  std::lock_guard guard(lock);
  externalHandler = std::move(handler);
}

std::vector<ExternalCall> InProcessHost::ExternalCalls() const {
  std::lock_guard guard(lock);
  return externalCalls;
}

void InProcessHost::AnswerExternal(ExternalResponseRecord* response,
                                   const ExternalRequestRecord* request) {
  ExternalCall call{request->method,  TextOf(request->url), {}, {}, request->body == nullptr,
                    request->timeout, request->further};
  for (uint32_t i = 0; i < request->headerCount; ++i) {
    call.headers.emplace_back(TextOf(request->headers[i].name), TextOf(request->headers[i].value));
  }
  if (request->body != nullptr) call.body.assign(request->body, request->bodyLength);
  ExternalHandler handler;
  {
    std::lock_guard guard(lock);
    if (recording) {
      calls.emplace_back("ExternalRequest");
      externalCalls.push_back(call);
    }
    handler = externalHandler;
  }
  ExternalAnswer answer;
  if (handler) {
    answer = handler(call);
  } else {
    answer.transport = 1;
    answer.body = "no handler";
  }
  response->release = &ReleaseExternalResponse;
  ++unreleasedResponses;
  response->transport = answer.transport;
  response->status = answer.status;
  response->bodyLength = static_cast<uint32_t>(answer.body.size());
  if (!answer.nullBody && !answer.body.empty()) {
    char* body = new char[answer.body.size()];
    std::memcpy(body, answer.body.data(), answer.body.size());
    response->body = body;
  }
  response->headerCount = static_cast<uint32_t>(answer.headers.size());
  if (!answer.nullHeaderArray && !answer.headers.empty()) {
    auto* pairs = new HostHeaderPair[answer.headers.size()]();
    for (std::size_t i = 0; i < answer.headers.size(); ++i) {
      if (!answer.nullHeaderNames) pairs[i].name = CopyText(answer.headers[i].first);
      pairs[i].value = CopyText(answer.headers[i].second);
    }
    response->headers = pairs;
  }
}

CallResponse InProcessHost::Call(const CallRequest& request) {
  // Shutdown destroyed the table and what its entries point into.
  if (shutDown) return {};
  const std::string_view path = std::string_view(request.path).substr(0, request.path.find('?'));
  const uint32_t method = request.method <= kMethodNamed ? request.method : 0;
  const std::string_view methodName =
      method == kMethodNamed ? std::string_view(request.methodName) : "";
  const CallKey key{method, methodName, path};
  for (std::size_t i = 0; i < routes.size(); ++i) {
    if (MatchRoute(key, routes[i])) return CallEntry(Table()->entries[i], request);
  }
  return {};
}

CallResponse InProcessHost::Call(uint32_t method, const std::string& path,
                                 const std::string& contentType, const std::string& body) {
  CallRequest request;
  request.method = method;
  request.path = path;
  request.contentType = contentType;
  request.body = body;
  request.hasBody = !body.empty();
  return Call(request);
}

CallResponse InProcessHost::CallEntry(const ApiEndpointEntry& entry, const CallRequest& request) {
  std::vector<HostHeaderPair> headers;
  for (const auto& [name, value] : request.headers)
    headers.push_back({name.c_str(), value.c_str()});
  ApiCallRecord call{};
  call.method = request.method;
  call.path = request.path.c_str();
  call.arguments = request.arguments.empty() ? nullptr : request.arguments.data();
  call.argumentCount = static_cast<uint32_t>(request.arguments.size());
  call.callContext = entry.function.callContext;
  call.headers = headers.empty() ? nullptr : headers.data();
  call.headerCount = static_cast<uint32_t>(headers.size());
  call.contentType = request.contentType.c_str();
  call.body = request.hasBody ? reinterpret_cast<const uint8_t*>(request.body.data()) : nullptr;
  call.bodyLength = request.hasBody ? static_cast<uint32_t>(request.body.size()) : 0;
  call.hostContext = request.hostContext;
  call.methodName = request.methodName.c_str();

  JsonApiResponse response{};
  entry.callback(&response, &call);

  CallResponse result;
  result.found = true;
  result.error = response.errorText != nullptr;
  result.errorText = TextOf(response.errorText);
  result.status = response.status;
  result.kind = response.kind;
  result.contentType = TextOf(response.contentType);
  for (uint32_t i = 0; response.headers != nullptr && i < response.headerCount; ++i) {
    result.headers.emplace_back(TextOf(response.headers[i].name),
                                TextOf(response.headers[i].value));
  }
  HostValueToJson(response.body, result.json);
  if (response.streamRead != nullptr) {
    result.streamed = true;
    char chunk[4096];
    bool more = true;
    while (more) {
      uint32_t length = sizeof chunk;
      if (!response.streamRead(response.streamHandle, chunk, &length, &more)) {
        // What came is not the answer: it would pass for a whole one.
        result.error = true;
        result.errorText = "The answer's stream failed after " +
                           std::to_string(result.streamedBody.size()) + " bytes";
        break;
      }
      result.streamedBody.append(chunk, std::min<uint32_t>(length, sizeof chunk));
    }
    if (response.streamClose != nullptr) response.streamClose(response.streamHandle);
  }
  if (response.release != nullptr) response.release(&response);
  return result;
}

void InProcessHost::AddSubscription(HostSubscription subscription) {
  std::lock_guard guard(lock);
  if (recording) calls.emplace_back("Subscribe");
  subscriptions.push_back(std::move(subscription));
}

void InProcessHost::RemoveSubscription(const std::string& name, uintptr_t token) {
  std::lock_guard guard(lock);
  if (recording) calls.emplace_back("Unsubscribe");
  std::erase_if(subscriptions, [&](const HostSubscription& subscription) {
    return subscription.name == name && subscription.token == token;
  });
}

std::vector<HostSubscription> InProcessHost::Subscriptions() const {
  std::lock_guard guard(lock);
  return subscriptions;
}

void InProcessHost::RecordEvent(const HostEvent* event) {
  {
    std::lock_guard guard(lock);
    // Nobody reads the event: spare the payload's conversion.
    if (!recording && !eventListener) return;
  }
  SentEvent sent{TextOf(event->name), event->kind, JsonOf(event->payload)};
  {
    std::lock_guard guard(lock);
    if (recording) {
      calls.emplace_back("SendEvent");
      sentEvents.push_back(sent);
    }
  }
  if (eventListener) eventListener(sent);
}

std::vector<SentEvent> InProcessHost::SentEvents() const {
  std::lock_guard guard(lock);
  return sentEvents;
}

std::vector<std::pair<std::string, std::string>> InProcessHost::TelemetryPosts() const {
  std::lock_guard guard(lock);
  return telemetryPosts;
}

int InProcessHost::Deliver(const std::string& name, const BindingProperty& payload, uint32_t kind) {
  std::vector<HostSubscription> targets;
  {
    std::lock_guard guard(lock);
    for (const HostSubscription& subscription : subscriptions) {
      if (subscription.name == name) targets.push_back(subscription);
    }
  }
  HostEvent event{};
  event.name = name.c_str();
  event.kind = kind;
  PropertyToHostValue(payload, event.payload, nullptr);
  for (const HostSubscription& target : targets) {
    event.userData = target.userData;
    target.callback(&event);
  }
  ReleaseHostValue(event.payload);
  return static_cast<int>(targets.size());
}

int InProcessHost::DeliverResourceEvent(const std::string& uri, const std::string& eventType,
                                        const BindingProperty& data) {
  BindingProperty payload;
  payload.Member("uri").SetString(uri);
  payload.Member("eventType").SetString(eventType);
  payload.Member("data") = data;
  return Deliver(EventNameForUri(uri), payload);
}

std::vector<std::string> InProcessHost::Calls() const {
  std::lock_guard guard(lock);
  return calls;
}

std::vector<LoggedLine> InProcessHost::Lines() const {
  std::lock_guard guard(lock);
  return lines;
}

std::vector<std::pair<std::string, uint32_t>> InProcessHost::Waits() const {
  std::lock_guard guard(lock);
  return waits;
}

void InProcessHost::SetRequestHook(std::function<void(const std::string& url)> hook) {
  requestHook = std::move(hook);
}

void InProcessHost::SetResourceFilter(ResourceFilter filter) {
  std::lock_guard guard(lock);
  resourceFilter = std::move(filter);
}

void InProcessHost::SetRecording(bool on) {
  std::lock_guard guard(lock);
  recording = on;
}

void InProcessHost::SetEventListener(std::function<void(const SentEvent&)> listener) {
  eventListener = std::move(listener);
}

void InProcessHost::SetLogListener(std::function<void(const LoggedLine&)> listener) {
  logListener = std::move(listener);
}

}  // namespace Halden::host
