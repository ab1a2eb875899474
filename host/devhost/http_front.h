// The development host's HTTP front on 127.0.0.1: every endpoint of the
// plugin's API table, called as the client's core calls it, with
//   GET /               the web console's page (ServeConsoleFile)
//   GET /console/...    the page's files
//   GET /events         the events the plugin sends, and those the controls
//                       deliver to it (EventStream)
//   GET /openapi.json   the plugin's OpenAPI document
//   /_host/...          the control endpoints (HostControls)
// Any other path is a call of the plugin's API table: the method, the path
// with its query, the headers (names in lower case), the content type and
// the body go into the call record; the answer's status, content type,
// headers and body (the tree as JSON, made valid UTF-8) come back. An error
// answers {"message", "status"} with the status the call result carries:
// 500 where it carries 0, and 502 where it carries one that is no error
// status in HTTP (a failed remote answer of 204, say), which would read as
// success; a body the plugin cannot read is answered with the content types
// it can. A path no entry takes is answered 404, one that entries take with
// other methods 405 with those in the Allow header; both name the path as
// it was sent. A call that cannot reach the plugin (a reload that lasts, a
// library that failed to load) is answered 503 with the reason.
#pragma once

#include <string>

#include "host/devhost/event_stream.h"
#include "host/devhost/host_controls.h"
#include "host/devhost/loaded_plugin.h"
#include "host/devhost/loopback_server.h"
#include "host/devhost/terminal.h"

namespace Halden::devhost {

class HttpFront {
 public:
  // The console's files are read from `consoleDir`.
  HttpFront(LoadedPlugin& plugin, EventStream& events, Terminal& terminal, std::size_t maxBody,
            std::string consoleDir);

  // As LoopbackServer::Bind, for the option --port.
  bool Bind(int port, std::string& error) { return server.Bind(port, "--port", error); }
  std::string Url() const { return server.Url(); }
  // Sets the routes up and serves.
  void Start(HostControls& controls);
  void Stop() { server.Stop(); }

 private:
  // The request's body is the call's: moved, not copied.
  void CallPlugin(const httplib::Request& request, std::string body, httplib::Response& response);

  LoadedPlugin& plugin;
  EventStream& events;
  Terminal& terminal;
  LoopbackServer server;
  const std::string consoleDir;
};

}  // namespace Halden::devhost
