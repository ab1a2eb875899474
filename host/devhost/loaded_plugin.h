// The plugin as the development host reaches it: its library loaded into
// the in-process host, reloaded on demand, and every call of the host's let
// through the gate (plugin_gate.h) and recorded (session_recorder.h).
//
// Whoever calls into the plugin holds a pass from Enter while it does, and
// answers 503 with the pass's refusal when it gets none.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "binding/property.h"
#include "host/devhost/plugin_gate.h"
#include "host/devhost/session_recorder.h"
#include "host/in_process_host.h"

namespace Halden::devhost {

class LoadedPlugin {
 public:
  // `library` is loaded through its export `exportName`.
  LoadedPlugin(host::InProcessHost& host, SessionRecorder& recorder, std::string library,
               std::string exportName)
      : host(host),
        recorder(recorder),
        library(std::move(library)),
        exportName(std::move(exportName)) {}

  const std::string& Library() const { return library; }
  // Loads the library, registers and initializes the plugin. False with
  // `error` set on failure.
  bool Load(std::string& error);

  struct Reloaded {
    // Why the new library did not load; calls are refused with it.
    std::string error;
    // The old plugin's live blocks after its Shutdown: what it leaked.
    uint64_t liveBlocks = 0;
    std::chrono::duration<double> took{};
  };
  // Closes the gate and waits for the calls under way, shuts the plugin
  // down, unloads its library, calls `unloaded`, loads the library's file
  // again and initializes the new plugin; then, the gate still closed to
  // others, calls `restore`, which gives it the state the host keeps.
  Reloaded Reload(const std::function<void()>& unloaded, const std::function<void()>& restore);
  // Shuts the plugin down for good; its memory counters just before.
  std::vector<uint64_t> Shutdown();

  PluginGate::Pass Enter() { return gate.Enter(); }
  // With a pass held: the host, its plugin's calls, and deliveries.
  host::InProcessHost& Host() { return host; }
  host::CallResponse Call(const host::CallRequest& request);
  int Deliver(const std::string& name, const BindingProperty& payload);

 private:
  bool LoadAndInitialize(std::string& error);

  host::InProcessHost& host;
  SessionRecorder& recorder;
  const std::string library;
  const std::string exportName;
  PluginGate gate;
  bool loaded = false;
};

}  // namespace Halden::devhost
