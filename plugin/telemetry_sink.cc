#include "plugin/telemetry_sink.h"

#include "api/method.h"
#include "plugin/plugin_runtime.h"

namespace Halden {

std::future<RequestResult<>> HostTelemetrySink::PostTelemetryEvent(
    const std::string& eventName, const RequestParameters& payload) {
  std::promise<RequestResult<>> outcome;
  outcome.set_value(
      runtime.RequestWithParameters(kMethodPost, "/telemetry/v1/events/" + eventName, payload));
  return outcome.get_future();
}

}  // namespace Halden
