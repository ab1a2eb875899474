// Posting telemetry events through the host.
#pragma once

#include <future>
#include <string>

#include "plugin/request_parameters.h"
#include "plugin/request_result.h"

namespace Halden {

class PluginRuntime;

class TelemetrySink {
 public:
  virtual ~TelemetrySink() = default;
  // Posts the event; the future is already satisfied with the outcome.
  virtual std::future<RequestResult<>> PostTelemetryEvent(const std::string& eventName,
                                                          const RequestParameters& payload) = 0;
};

// The runtime's sink: a POST of the payload to "/telemetry/v1/events/"
// followed by the event name.
class HostTelemetrySink final : public TelemetrySink {
 public:
  explicit HostTelemetrySink(PluginRuntime& owner) : runtime(owner) {}
  std::future<RequestResult<>> PostTelemetryEvent(const std::string& eventName,
                                                  const RequestParameters& payload) override;

 private:
  PluginRuntime& runtime;
};

}  // namespace Halden
