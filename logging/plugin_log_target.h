// "PluginLogTarget": forwards each record's level and message text (not a
// formatted line) to the host's Log function. The plugin base creates one
// when it initializes and configures it, which attaches it; destroying it
// detaches it.
#pragma once

#include "boundary/host_interface.h"
#include "logging/log_target.h"

namespace Halden {

class PluginLogTarget final : public LogTarget {
 public:
  // `host` must stay valid while the target is attached; a null table, or
  // one without a Log function, makes the target write nothing.
  explicit PluginLogTarget(const HostFunctions* host);
  ~PluginLogTarget() override;

  virtual bool Write(const LogRecord& record);

 private:
  const HostFunctions* host;
};

}  // namespace Halden
