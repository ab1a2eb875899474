#include "logging/plugin_log_target.h"

namespace Halden {

PluginLogTarget::PluginLogTarget(const HostFunctions* host)
    : LogTarget("PluginLogTarget",
                [](LogTarget& target, const LogRecord& record) {
                  return static_cast<PluginLogTarget&>(target).Write(record);
                }),
      host(host) {}

PluginLogTarget::~PluginLogTarget() { Detach(); }

bool PluginLogTarget::Write(const LogRecord& record) {
  if (host == nullptr || host->Log == nullptr) return false;
  host->Log(host, record.level, record.message);
  return true;
}

}  // namespace Halden
