#include "plugin/plugin_runtime.h"

namespace Halden {

PluginRuntime::~PluginRuntime() = default;

void PluginRuntime::Stop() { StopEvents(); }

void PluginRuntime::Wait() {
  HostBeginWait("Wait: yield", 0);
  HostYield();
  HostEndWait();
}

void PluginRuntime::Connect(uintptr_t token, const std::string& name, const std::string& agent) {
  hostToken = token;
  shortName = name;
  userAgent = agent;
  telemetry = std::make_unique<HostTelemetrySink>(*this);
  std::vector<std::function<void()>> reads;
  {
    std::lock_guard subscription(subscriptionLock);
    connected = true;
    for (const auto& [eventName, kind] : deferredSubscriptions) {
      bool kept;
      {
        std::lock_guard lock(eventLock);
        kept = hostHandlers.contains(eventName);
      }
      if (kept) {
        HostSubscribe(eventName.c_str(), hostToken, &OnHostEvent, reinterpret_cast<uintptr_t>(this),
                      kind);
      }
    }
    deferredSubscriptions.clear();
    reads.swap(deferredReads);
  }
  ConnectServiceProxies();
  // Whoever asked for a read has long returned: an observer that throws
  // loses its own read and no other.
  for (const std::function<void()>& read : reads) {
    try {
      read();
    } catch (...) {
    }
  }
}

}  // namespace Halden
