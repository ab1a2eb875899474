#include "host/devhost/host_controls.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "formats/json_to_property.h"
#include "formats/property_to_json.h"
#include "host/devhost/json_reply.h"
#include "host/devhost/memory_counters.h"
#include "host/devhost/raw_path.h"
#include "plugin/event_name.h"

namespace Halden::devhost {
namespace {

struct Control {
  const char* path;
  // As the Allow header lists them; the server answers HEAD as GET, without
  // the body.
  const char* methods;
  // Whether it calls into the plugin, and so needs a pass.
  bool reachesPlugin;
};

constexpr Control kControls[] = {
    {"/_host/sign-in", "POST", true},
    {"/_host/sign-out", "POST", true},
    {"/_host/message", "POST", true},
    {"/_host/memory", "GET, HEAD", true},
    {"/_host/token", "GET, HEAD", false},
    {"/_host/mailbox", "GET, HEAD", false},
    {"/_host/log", "GET, HEAD", false},
    {"/_host/plugin", "GET, HEAD", false},
    {"/_host/faults", "GET, HEAD, POST, DELETE", false},
    {"/_host/recording", "GET, HEAD, POST, DELETE", false},
    {"/_host/reload", "GET, HEAD", false},
};

bool Takes(std::string_view methods, const std::string& method) {
  for (std::size_t at = 0; at < methods.size();) {
    const std::size_t end = std::min(methods.find(", ", at), methods.size());
    if (methods.substr(at, end - at) == method) return true;
    at = end + 2;
  }
  return false;
}

void ReplyDelivered(httplib::Response& response, const char* eventType, int subscribers) {
  BindingProperty body;
  body.Member("eventType").SetString(eventType);
  body.Member("subscribers").SetSigned(subscribers);
  ReplyJson(response, 200, body);
}

BindingProperty MessageData(const std::string& payload) {
  BindingProperty data;
  data.Member("payload").SetString(payload);
  return data;
}

}  // namespace

void HostControls::Handle(const httplib::Request& request, const std::string& body,
                          httplib::Response& response) {
  const std::string& path = request.path;
  const auto control = std::find_if(std::begin(kControls), std::end(kControls),
                                    [&](const Control& known) { return path == known.path; });
  const std::string named = request.method + " " + RawPath(request);
  if (control == std::end(kControls)) {
    ReplyMessage(response, 404, "No control endpoint " + named);
    return;
  }
  if (!Takes(control->methods, request.method)) {
    response.set_header("Allow", control->methods);
    ReplyMessage(response, 405, "No control endpoint " + named + "; it takes " + control->methods);
    return;
  }
  std::optional<PluginGate::Pass> pass;
  if (control->reachesPlugin && !pass.emplace(plugin.Enter())) {
    ReplyMessage(response, 503, pass->Refusal());
    return;
  }
  if (path == "/_host/sign-in") {
    SignIn(body, response);
  } else if (path == "/_host/sign-out") {
    SignOut(response);
  } else if (path == "/_host/message") {
    ReplyDelivered(response, "Create", DeliverMessage(body));
  } else if (path == "/_host/memory") {
    ReplyJson(response, 200, MemoryCountersJson(plugin.Host().GetMemoryStats()));
  } else if (path == "/_host/token") {
    BindingProperty state;
    std::lock_guard guard(lock);
    state.Member("signedIn").SetBool(token.has_value());
    const std::optional<std::string> account =
        token ? mock.AccountEmail(token->Find("token").ToText()) : std::nullopt;
    if (account) state.Member("account").SetString(*account);
    ReplyJson(response, 200, state);
  } else if (path == "/_host/mailbox") {
    ReplyJson(response, 200, MailboxJson(mock.Mailbox()));
  } else if (path == "/_host/plugin") {
    std::lock_guard guard(descriptionLock);
    ReplyJson(response, 200, description);
  } else if (path == "/_host/log") {
    logLines.Serve(request, response);
  } else if (path == "/_host/faults") {
    Faults(request.method, body, response);
  } else if (path == "/_host/recording") {
    Recording(request.method, response);
  } else {
    ReplyJson(response, 200, lifecycle.ReloadState());
  }
}

int HostControls::DeliverMessage(const std::string& payload) {
  std::lock_guard guard(lock);
  lastMessage = payload;
  return Deliver(kMessageResource, "Create", MessageData(payload));
}

void HostControls::DescribePlugin(BindingProperty described) {
  std::lock_guard guard(descriptionLock);
  description = std::move(described);
}

void HostControls::Restore() {
  std::lock_guard guard(lock);
  if (token) Deliver(kTokenResource, "Create", *token);
  if (lastMessage) Deliver(kMessageResource, "Create", MessageData(*lastMessage));
}

int HostControls::Deliver(const char* uri, const char* eventType, const BindingProperty& data) {
  BindingProperty payload;
  payload.Member("uri").SetString(uri);
  payload.Member("eventType").SetString(eventType);
  payload.Member("data") = data;
  // Ahead of the events the plugin sends in answer, but published once
  // delivered, so that a page that reads what it changed reads it changed.
  const uint64_t place = events.Reserve();
  const std::string name = EventNameForUri(uri);
  const int reached = plugin.Deliver(name, payload);
  events.Fill(place, "delivered " + name, PropertyToJson(payload, nullptr, nullptr));
  return reached;
}

void HostControls::SignIn(const std::string& body, httplib::Response& response) {
  const BindingResult request = JsonToProperty(body.c_str());
  const BindingProperty& text = request.Find("token");
  const BindingProperty& expiry = request.Find("expiry");
  if (!request.Ok() || text.GetKind() != BindingPropertyKind::String || text.GetString().empty() ||
      !(expiry.IsEmpty() || expiry.GetKind() == BindingPropertyKind::Unsigned)) {
    ReplyMessage(response, 400, "Expected {\"token\": <text>, \"expiry\": <number, optional>}");
    return;
  }
  BindingProperty data;
  data.Member("token") = text;
  if (!expiry.IsEmpty()) data.Member("expiry") = expiry;
  std::lock_guard guard(lock);
  const char* eventType = token ? "Update" : "Create";
  token = data;
  plugin.Host().SetResourceBody(kTokenResource, data);
  ReplyDelivered(response, eventType, Deliver(kTokenResource, eventType, data));
}

void HostControls::SignOut(httplib::Response& response) {
  std::lock_guard guard(lock);
  if (!token) {
    ReplyMessage(response, 409, "Not signed in");
    return;
  }
  plugin.Host().RemoveResource(kTokenResource);
  const BindingProperty last = *token;
  token.reset();
  ReplyDelivered(response, "Delete", Deliver(kTokenResource, "Delete", last));
}

void HostControls::Faults(const std::string& method, const std::string& body,
                          httplib::Response& response) {
  if (method == "POST") {
    const BindingResult document = JsonToProperty(body.c_str());
    std::string error = document.Ok() ? "" : "The faults do not read as JSON: " + document.Error();
    if (!error.empty() || !mock.SetFaults(document, error)) {
      ReplyMessage(response, 400, error);
      return;
    }
  } else if (method == "DELETE") {
    mock.ClearFaults();
  }
  ReplyJson(response, 200, mock.Faults());
}

void HostControls::Recording(const std::string& method, httplib::Response& response) {
  if (method == "DELETE") {
    const std::optional<std::string> lines = lifecycle.StopRecording();
    if (!lines) {
      ReplyMessage(response, 409, "No recording runs");
      return;
    }
    response.set_header("Content-Disposition", "attachment; filename=\"session.jsonl\"");
    response.set_content(*lines, "application/x-ndjson");
    return;
  }
  if (method == "POST" && !lifecycle.StartRecording()) {
    ReplyMessage(response, 409, "A recording runs already");
    return;
  }
  BindingProperty state;
  state.Member("recording").SetBool(lifecycle.Recording());
  ReplyJson(response, 200, state);
}

}  // namespace Halden::devhost
