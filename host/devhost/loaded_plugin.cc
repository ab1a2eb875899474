#include "host/devhost/loaded_plugin.h"

#include "host/devhost/session_records.h"

namespace Halden::devhost {

bool LoadedPlugin::Load(std::string& error) {
  loaded = LoadAndInitialize(error);
  return loaded;
}

bool LoadedPlugin::LoadAndInitialize(std::string& error) {
  const auto action = recorder.Begin([] { return ActionRecord("initialize"); });
  if (!host.Load(library, exportName)) {
    error = "cannot load the plugin library: " + host.Error();
    host.Unload();
    return false;
  }
  const bool initialized = host.Initialize();
  recorder.Add(
      [&] { return InitializedRecord(initialized, host.Registration(), host.Subscriptions()); });
  if (!initialized) {
    error = "the plugin's Initialize failed";
    host.Unload();
  }
  return initialized;
}

LoadedPlugin::Reloaded LoadedPlugin::Reload(const std::function<void()>& unloaded,
                                            const std::function<void()>& restore) {
  gate.BeginReload();
  const auto start = std::chrono::steady_clock::now();
  Reloaded outcome;
  if (loaded) {
    {
      const auto action = recorder.Begin([] { return ActionRecord("shutdown"); });
      host.Shutdown();
    }
    outcome.liveBlocks = host.GetMemoryStats()[1];
    host.Unload();
  }
  if (unloaded) unloaded();
  loaded = LoadAndInitialize(outcome.error);
  if (loaded && restore) restore();
  outcome.took = std::chrono::steady_clock::now() - start;
  gate.EndReload(loaded ? "" : "The plugin is not loaded: " + outcome.error);
  return outcome;
}

std::vector<uint64_t> LoadedPlugin::Shutdown() {
  gate.BeginReload();
  std::vector<uint64_t> counters;
  if (loaded) {
    counters = host.GetMemoryStats();
    const auto action = recorder.Begin([] { return ActionRecord("shutdown"); });
    host.Shutdown();
    loaded = false;
  }
  gate.EndReload("The plugin has been shut down");
  return counters;
}

host::CallResponse LoadedPlugin::Call(const host::CallRequest& request) {
  const auto action = recorder.Begin([&] { return CallRecord(request); });
  const host::CallResponse response = host.Call(request);
  recorder.Add([&] { return ResponseRecord(response); });
  return response;
}

int LoadedPlugin::Deliver(const std::string& name, const BindingProperty& payload) {
  const auto action = recorder.Begin([&] { return DeliverRecord(name, 0, payload); });
  return host.Deliver(name, payload);
}

}  // namespace Halden::devhost
