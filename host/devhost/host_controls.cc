#include "host/devhost/host_controls.h"

#include "formats/json_to_property.h"
#include "host/devhost/json_reply.h"
#include "host/devhost/memory_counters.h"

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
  const bool post = request.method == "POST";
  if (post && path == "/_host/sign-in") {
    SignIn(body, response);
  } else if (post && path == "/_host/sign-out") {
    SignOut(response);
  } else if (post && path == "/_host/message") {
    ReplyDelivered(response, "Create", DeliverMessage(body));
  } else if (request.method == "GET" && path == "/_host/memory") {
    ReplyJson(response, 200, MemoryCountersJson(host.GetMemoryStats()));
  } else if (request.method == "GET" && path == "/_host/token") {
    BindingProperty state;
    {
      std::lock_guard guard(lock);
      state.Member("signedIn").SetBool(token.has_value());
    }
    ReplyJson(response, 200, state);
  } else if (request.method == "GET" && path == "/_host/mailbox") {
    ReplyJson(response, 200, MailboxJson(mock.Mailbox()));
  } else if (request.method == "GET" && path == "/_host/log") {
    logLines.Serve(response);
  } else if (request.method == "GET" && path == "/_host/plugin") {
    ReplyJson(response, 200, plugin);
  } else {
    ReplyMessage(response, 404, "No control endpoint " + request.method + " " + path);
  }
}

int HostControls::DeliverMessage(const std::string& payload) {
  BindingProperty data;
  data.Member("payload").SetString(payload);
  return host.DeliverResourceEvent(kMessageResource, "Create", data);
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
  ReplyDelivered(response, eventType, host.DeliverResourceEvent(kTokenResource, eventType, data));
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
  ReplyDelivered(response, "Delete", host.DeliverResourceEvent(kTokenResource, "Delete", last));
}

}  // namespace Halden::devhost
