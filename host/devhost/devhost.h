// The development host: the plugin library loaded into an in-process host,
// served over HTTP by the front, its resources from the configuration file,
// its external requests carried over real HTTP, and the mock
// email-verification service beside it.
#pragma once

#include <memory>
#include <string>

#include "host/devhost/devhost_config.h"
#include "host/devhost/devhost_options.h"
#include "host/devhost/event_stream.h"
#include "host/devhost/host_controls.h"
#include "host/devhost/http_front.h"
#include "host/devhost/mock_service.h"
#include "host/devhost/terminal.h"
#include "host/in_process_host.h"

namespace Halden::devhost {

class Devhost {
 public:
  Devhost(const DevhostOptions& options, Terminal& terminal);
  ~Devhost();
  Devhost(const Devhost&) = delete;
  Devhost& operator=(const Devhost&) = delete;

  // Binds both ports (the front's first, so that a port in use stops
  // everything before the plugin loads), reads the configuration, loads and
  // initializes the plugin and serves. The demo starts signed out. False
  // with `error` set on any failure.
  bool Start(std::string& error);
  // Stops serving, prints the plugin's memory counters and shuts it down.
  // Also done by the destructor.
  void Stop();

  std::string Url() const { return front.Url(); }
  std::string MockUrl() const { return mock.Url(); }
  const DevhostConfig& Config() const { return config; }

 private:
  bool Configure(std::string& error);

  const DevhostOptions& options;
  Terminal& terminal;
  // Destroyed after the servers that call into it.
  host::InProcessHost host;
  EventStream events;
  EventStream logLines;
  DevhostConfig config;
  std::unique_ptr<HostControls> controls;
  MockEmailService mock;
  HttpFront front;
  bool serving = false;
};

}  // namespace Halden::devhost
