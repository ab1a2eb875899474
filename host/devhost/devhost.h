// The development host: the plugin library loaded into an in-process host,
// served over HTTP by the front, its resources from the configuration file,
// its external requests carried over real HTTP, and the mock
// email-verification service beside it. While it serves, its loop of edit,
// rebuild and reload (dev_loop.h) reloads the library when it changes,
// delivering again the state the plugin observes, so that the developer
// stays signed in.
//
// Besides the terminal, it reports on the event stream, as the events
//   host build   {"state": "building", "changed": <path>}, then
//                {"state": "built", "seconds"} or
//                {"state": "failed", "seconds", "error": <first error>}
//   host reload  {"builtAt": <the library file's time>, "milliseconds",
//                "liveBlocks": <the old plugin's after Shutdown>,
//                "plugin": <name and version> | "error": <why not loaded>}
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "host/devhost/dev_loop.h"
#include "host/devhost/devhost_config.h"
#include "host/devhost/devhost_options.h"
#include "host/devhost/event_stream.h"
#include "host/devhost/host_controls.h"
#include "host/devhost/http_front.h"
#include "host/devhost/loaded_plugin.h"
#include "host/devhost/mock_service.h"
#include "host/devhost/session_recorder.h"
#include "host/devhost/terminal.h"
#include "host/in_process_host.h"

namespace Halden::devhost {

class Devhost final : public PluginLifecycle {
 public:
  Devhost(const DevhostOptions& options, Terminal& terminal);
  ~Devhost() override;
  Devhost(const Devhost&) = delete;
  Devhost& operator=(const Devhost&) = delete;

  // Binds both ports (the front's first, so that a port in use stops
  // everything before the plugin loads), reads the configuration, loads and
  // initializes the plugin and serves; then, unless told not to or playing
  // the demo, watches the library (and sources) for changes. The demo starts
  // signed out. False with `error` set on any failure.
  bool Start(std::string& error);
  // Stops watching and serving, prints the plugin's memory counters and
  // shuts it down. Also done by the destructor.
  void Stop();

  std::string Url() const { return front.Url(); }
  std::string MockUrl() const { return mock.Url(); }
  const DevhostConfig& Config() const { return config; }

  bool StartRecording() override;
  std::optional<std::string> StopRecording() override;
  bool Recording() const override { return recorder.Buffering(); }
  BindingProperty ReloadState() const override;

 private:
  bool Configure(std::string& error);
  void ListenToThePlugin();
  bool StartLoop(std::string& error);
  // Reloads the plugin, restores its state and reports.
  void Reload(const std::function<void()>& unloaded);
  // Reads the loaded plugin's name, versions and build (from the library
  // file), for GET /_host/plugin; returns what it read.
  BindingProperty Describe();
  // Publishes a host event and keeps it as the last of its name.
  void Report(const char* name, const BindingProperty& data);

  const DevhostOptions& options;
  Terminal& terminal;
  // Destroyed after the servers that call into it.
  host::InProcessHost host;
  SessionRecorder recorder;
  LoadedPlugin plugin;
  EventStream events;
  EventStream logLines;
  DevhostConfig config;
  std::unique_ptr<HostControls> controls;
  MockEmailService mock;
  HttpFront front;
  std::unique_ptr<DevLoop> loop;
  // Set once the loop watches; the front serves before it does.
  std::atomic<bool> watching{false};
  // One console recording begun at a time.
  std::mutex recordingLock;
  mutable std::mutex reportLock;
  BindingProperty lastBuild;
  BindingProperty lastReload;
  bool serving = false;
};

}  // namespace Halden::devhost
