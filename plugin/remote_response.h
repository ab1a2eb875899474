// External HTTP requests carried by the host, and their results.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Halden {

// An HTTP request to an absolute URL. `timeout` and `further` are copied into
// the host's record unchanged (the host defines their meaning).
struct RemoteRequest {
  uint32_t method = 0;
  std::string url;
  // In the order given; a "user-agent" header is added in front unless one
  // is there, in any letter case.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  uint32_t timeout = 0;
  uint32_t further = 0;
};

// What every external request's result reports, whatever its value type.
struct RemoteResponseStatus {
  // -1 before an answer (also for a response made up without asking the
  // host); 0 when the host carried the request; -1, 0 and 2 as the host
  // reports them, anything else as 1.
  int32_t transport = -1;
  uint32_t status = 0;
  // 0 read, 1 not readable, -1 never set.
  int32_t parseError = -1;
  // 0 converted, 1 not convertible, -1 never set (text bodies).
  int32_t conversionError = -1;
  std::string error;
  std::map<std::string, std::string> headers;

  // Carried, answered with a 2xx status, read and converted, without an
  // error text.
  bool Succeeded() const {
    return transport == 0 && error.empty() && status >= 200 && status <= 299 && parseError == 0 &&
           conversionError != 1;
  }
};

// The result of an external request whose body is read as T (or kept as
// text for T = std::string through the text-bodied request).
template <typename T>
struct RemoteResponse : RemoteResponseStatus {
  T value{};
};

}  // namespace Halden
