#include "host/devhost/host_controls.h"

#include <algorithm>
#include <iterator>

#include "formats/json_to_property.h"
#include "formats/property_to_json.h"
#include "host/devhost/json_reply.h"
#include "host/devhost/memory_counters.h"
#include "host/devhost/raw_path.h"
#include "plugin/event_name.h"

namespace Halden::devhost {
namespace {

void ReplyDelivered(httplib::Response& response, const char* eventType, int subscribers) {
  BindingProperty body;
  body.Member("eventType").SetString(eventType);
  body.Member("subscribers").SetSigned(subscribers);
  ReplyJson(response, 200, body);
}

}  // namespace

void HostControls::Handle(const httplib::Request& request, const std::string& body,
                          httplib::Response& response) {
  const std::string& path = request.path;
  const char* const kPosted[] = {"/_host/sign-in", "/_host/sign-out", "/_host/message"};
  const char* const kRead[] = {"/_host/memory", "/_host/token", "/_host/mailbox", "/_host/log",
                               "/_host/plugin"};
  const bool posted = std::find(std::begin(kPosted), std::end(kPosted), path) != std::end(kPosted);
  const bool read = std::find(std::begin(kRead), std::end(kRead), path) != std::end(kRead);
  const std::string named = request.method + " " + RawPath(request);
  if (!posted && !read) {
    ReplyMessage(response, 404, "No control endpoint " + named);
    return;
  }
  // The server answers HEAD as GET, without the body.
  const std::string allowed = posted ? "POST" : "GET, HEAD";
  if (posted ? request.method != "POST" : request.method != "GET" && request.method != "HEAD") {
    response.set_header("Allow", allowed);
    ReplyMessage(response, 405, "No control endpoint " + named + "; it takes " + allowed);
    return;
  }
  if (path == "/_host/sign-in") {
    SignIn(body, response);
  } else if (path == "/_host/sign-out") {
    SignOut(response);
  } else if (path == "/_host/message") {
    ReplyDelivered(response, "Create", DeliverMessage(body));
  } else if (path == "/_host/memory") {
    ReplyJson(response, 200, MemoryCountersJson(host.GetMemoryStats()));
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
    ReplyJson(response, 200, plugin);
  } else {
    logLines.Serve(request, response);
  }
}

int HostControls::DeliverMessage(const std::string& payload) {
  BindingProperty data;
  data.Member("payload").SetString(payload);
  return Deliver(kMessageResource, "Create", data);
}

int HostControls::Deliver(const char* uri, const char* eventType, const BindingProperty& data) {
  BindingProperty payload;
  payload.Member("uri").SetString(uri);
  payload.Member("eventType").SetString(eventType);
  payload.Member("data") = data;
  // Ahead of the events the plugin sends in answer, but published once
  // delivered, so that a page that reads what it changed reads it changed.
  const uint64_t place = events.Reserve();
  const int reached = host.DeliverResourceEvent(uri, eventType, data);
  events.Fill(place, "delivered " + EventNameForUri(uri),
              PropertyToJson(payload, nullptr, nullptr));
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
  host.SetResourceBody(kTokenResource, data);
  ReplyDelivered(response, eventType, Deliver(kTokenResource, eventType, data));
}

void HostControls::SignOut(httplib::Response& response) {
  std::lock_guard guard(lock);
  if (!token) {
    ReplyMessage(response, 409, "Not signed in");
    return;
  }
  host.RemoveResource(kTokenResource);
  const BindingProperty last = *token;
  token.reset();
  ReplyDelivered(response, "Delete", Deliver(kTokenResource, "Delete", last));
}

}  // namespace Halden::devhost
