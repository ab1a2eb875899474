// The path of a request as the client sent it.
#pragma once

#include <httplib.h>

#include <string>

namespace Halden::devhost {

// The target up to its query, percent escapes as they came: what the
// plugin's routes are matched against, and so what the host's messages
// name. The library's `path` is decoded.
inline std::string RawPath(const httplib::Request& request) {
  return request.target.substr(0, request.target.find('?'));
}

}  // namespace Halden::devhost
