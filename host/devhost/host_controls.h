// The control endpoints under /_host/, through which a developer plays the
// rest of the client around the plugin:
//   POST /_host/sign-in    {"token": <text>, "expiry": <number, optional>}:
//                          sets the access-token resource and delivers its
//                          Create event, or Update when signed in already
//   POST /_host/sign-out   removes the resource and delivers its Delete
//                          event with the last token
//   POST /_host/message    delivers the body, as text, as the payload of the
//                          messaging service's email message (Create)
//   GET  /_host/memory     the plugin's memory counters
//   GET  /_host/token      {"signedIn": <whether the host has a token>,
//                          "account": <the address of the mock service's
//                          account with that token, when there is one>}
//   GET  /_host/mailbox    the mock service's mailbox, as its /mailbox
//   GET  /_host/log        the plugin's log lines as server-sent events
//                          "log" of {"level": "ERROR", "text": <line>}
//   GET  /_host/plugin     the plugin served: {"name", "library", "version",
//                          "apiVersion", "build": {"commit", "type"}}
// The event endpoints answer {"eventType", "subscribers"}: what was
// delivered and to how many of the plugin's subscriptions; the event is
// published on the host's event stream too, as "delivered <event name>", so
// that a page learns of a sign-in or sign-out made elsewhere. The mailbox and
// the log are here so that the host's own page reads them from its origin.
#pragma once

#include <httplib.h>

#include <mutex>
#include <optional>
#include <string>

#include "binding/property.h"
#include "host/devhost/event_stream.h"
#include "host/devhost/mock_service.h"
#include "host/in_process_host.h"

namespace Halden::devhost {

inline constexpr const char* kTokenResource = "/ksa-auth/v1/authorization/access-token";
inline constexpr const char* kMessageResource =
    "/halden-messaging-service/v1/message/account/v1/email";

class HostControls {
 public:
  // `token` is the access token the host starts with, if any; `events`
  // is the stream of the plugin's events, where the events delivered here
  // are shown too, and `logLines` that of its log lines.
  HostControls(host::InProcessHost& host, std::optional<BindingProperty> token,
               const MockEmailService& mock, EventStream& events, EventStream& logLines)
      : host(host), mock(mock), events(events), logLines(logLines), token(std::move(token)) {}

  // Answers a request with `body` to a path under /_host/: 404 for unknown
  // ones, 405 with the Allow header for another method.
  void Handle(const httplib::Request& request, const std::string& body,
              httplib::Response& response);
  // Delivers a messaging-service email message with `payload`; returns the
  // number of subscriptions reached.
  int DeliverMessage(const std::string& payload);
  // What GET /_host/plugin answers; set before serving.
  void DescribePlugin(BindingProperty description) { plugin = std::move(description); }

 private:
  // Delivers a resource event to the plugin, and publishes it as
  // "delivered <event name>"; returns the number of subscriptions reached.
  int Deliver(const char* uri, const char* eventType, const BindingProperty& data);
  void SignIn(const std::string& body, httplib::Response& response);
  void SignOut(httplib::Response& response);

  host::InProcessHost& host;
  const MockEmailService& mock;
  EventStream& events;
  EventStream& logLines;
  // Sign-in and sign-out one at a time, so that Create and Update follow the
  // token's state.
  std::mutex lock;
  std::optional<BindingProperty> token;
  BindingProperty plugin;
};

}  // namespace Halden::devhost
