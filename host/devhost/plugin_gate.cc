#include "host/devhost/plugin_gate.h"

namespace Halden::devhost {

PluginGate::Pass::~Pass() {
  if (gate != nullptr) gate->Leave();
}

PluginGate::Pass PluginGate::Enter() {
  std::unique_lock guard(lock);
  if (reloading && reloader == std::this_thread::get_id()) return Pass(nullptr, "");
  if (!changed.wait_for(guard, kReloadWait, [this] { return !reloading; })) {
    return Pass(nullptr, "The plugin is being reloaded; try again in a moment");
  }
  if (!failure.empty()) return Pass(nullptr, failure);
  ++held;
  return Pass(this, "");
}

void PluginGate::Leave() {
  std::lock_guard guard(lock);
  // Only a reload waits for the passes to be given back.
  if (--held == 0 && reloading) changed.notify_all();
}

void PluginGate::BeginReload() {
  std::unique_lock guard(lock);
  // One reload at a time.
  changed.wait(guard, [this] { return !reloading; });
  reloading = true;
  reloader = std::this_thread::get_id();
  changed.wait(guard, [this] { return held == 0; });
}

void PluginGate::EndReload(const std::string& failed) {
  std::lock_guard guard(lock);
  reloading = false;
  reloader = {};
  failure = failed;
  changed.notify_all();
}

}  // namespace Halden::devhost
