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
  ConnectServiceProxies();
}

}  // namespace Halden
