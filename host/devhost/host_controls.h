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
//                          "apiVersion", "build": {"commit", "type"}}; after
//                          a reload, the reloaded one
//   GET, POST, DELETE /_host/faults
//                          the mock service's faults in force; the body's
//                          (mock_faults.h) applied; all cleared. Each
//                          answers the faults in force then.
//   GET, POST, DELETE /_host/recording
//                          {"recording": <whether the console's recording
//                          runs>}; one started, which reloads the plugin so
//                          that it holds the plugin's whole life; the
//                          recording ended, answered as its lines
//                          (application/x-ndjson)
//   GET  /_host/reload     what the host's reload loop did last
// The event endpoints answer {"eventType", "subscribers"}: what was
// delivered and to how many of the plugin's subscriptions; the event is
// published on the host's event stream too, as "delivered <event name>", so
// that a page learns of a sign-in or sign-out made elsewhere. The mailbox and
// the log are here so that the host's own page reads them from its origin.
// What reaches the plugin is answered 503 while it cannot be reached (a
// reload that lasts, a library that failed to load).
#pragma once

#include <httplib.h>

#include <mutex>
#include <optional>
#include <string>

#include "binding/property.h"
#include "host/devhost/event_stream.h"
#include "host/devhost/loaded_plugin.h"
#include "host/devhost/mock_service.h"

namespace Halden::devhost {

inline constexpr const char* kTokenResource = "/ksa-auth/v1/authorization/access-token";
inline constexpr const char* kMessageResource =
    "/halden-messaging-service/v1/message/account/v1/email";

// What the controls ask of the host around them.
class PluginLifecycle {
 public:
  virtual ~PluginLifecycle() = default;
  // Reloads the plugin and begins the console's recording as it loads;
  // false when one runs already.
  virtual bool StartRecording() = 0;
  // The recording's lines; nothing when none ran.
  virtual std::optional<std::string> StopRecording() = 0;
  virtual bool Recording() const = 0;
  virtual BindingProperty ReloadState() const = 0;
};

class HostControls {
 public:
  // `token` is the access token the host starts with, if any; `events`
  // is the stream of the plugin's events, where the events delivered here
  // are shown too, and `logLines` that of its log lines.
  HostControls(LoadedPlugin& plugin, std::optional<BindingProperty> token, MockEmailService& mock,
               EventStream& events, EventStream& logLines, PluginLifecycle& lifecycle)
      : plugin(plugin),
        mock(mock),
        events(events),
        logLines(logLines),
        lifecycle(lifecycle),
        token(std::move(token)) {}

  // Answers a request with `body` to a path under /_host/: 404 for unknown
  // ones, 405 with the Allow header for another method.
  void Handle(const httplib::Request& request, const std::string& body,
              httplib::Response& response);
  // Delivers a messaging-service email message with `payload`; returns the
  // number of subscriptions reached. The caller holds a pass of the plugin.
  int DeliverMessage(const std::string& payload);
  // Delivers again what the plugin observes of the host's state, the token
  // and the last message, to a plugin just reloaded.
  void Restore();
  // What GET /_host/plugin answers; set before serving, and again by each
  // reload that loads the library.
  void DescribePlugin(BindingProperty description);

 private:
  // Delivers a resource event to the plugin, and publishes it as
  // "delivered <event name>"; returns the number of subscriptions reached.
  int Deliver(const char* uri, const char* eventType, const BindingProperty& data);
  void SignIn(const std::string& body, httplib::Response& response);
  void SignOut(httplib::Response& response);
  void Faults(const std::string& method, const std::string& body, httplib::Response& response);
  void Recording(const std::string& method, httplib::Response& response);

  LoadedPlugin& plugin;
  MockEmailService& mock;
  EventStream& events;
  EventStream& logLines;
  PluginLifecycle& lifecycle;
  // Sign-in, sign-out and messages one at a time, so that Create and Update
  // follow the token's state, and a reload delivers the state as it is.
  std::mutex lock;
  std::optional<BindingProperty> token;
  std::optional<std::string> lastMessage;
  std::mutex descriptionLock;
  BindingProperty description;
};

}  // namespace Halden::devhost
