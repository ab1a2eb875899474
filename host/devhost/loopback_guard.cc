#include "host/devhost/loopback_guard.h"

#include <string_view>

#include "host/devhost/raw_path.h"
#include "util/ascii_case.h"

namespace Halden::devhost {
namespace {

bool IsOwnAuthority(const std::string& authority, int port) {
  const std::string suffix = ":" + std::to_string(port);
  const std::string lower = LowerAscii(authority);
  return lower == "127.0.0.1" + suffix || lower == "localhost" + suffix;
}

bool ChangesState(const httplib::Request& request) {
  const std::string_view path = request.path;
  return (request.method != "GET" && request.method != "HEAD" && request.method != "OPTIONS") ||
         path.starts_with("/_host/") || path == "/events";
}

}  // namespace

std::string LoopbackRefusal(const httplib::Request& request, int port) {
  if (request.get_header_value_count("Host") != 1) {
    return "Refused: the request needs exactly one Host header";
  }
  const std::string host = request.get_header_value("Host");
  if (!IsOwnAuthority(host, port)) {
    return "Refused: the Host header '" + host +
           "' names another server than 127.0.0.1:" + std::to_string(port);
  }
  if (!ChangesState(request)) return "";
  const std::string site = LowerAscii(request.get_header_value("Sec-Fetch-Site"));
  if (site == "cross-site" || site == "same-site") {
    return "Refused: a " + site + " " + request.method + " " + RawPath(request) +
           " (Sec-Fetch-Site: " + site + ")";
  }
  if (request.has_header("Origin")) {
    const std::string origin = request.get_header_value("Origin");
    const std::string lower = LowerAscii(origin);
    if (request.get_header_value_count("Origin") != 1 || !lower.starts_with("http://") ||
        !IsOwnAuthority(lower.substr(7), port)) {
      return "Refused: a cross-site " + request.method + " " + RawPath(request) +
             " from the origin '" + origin + "'";
    }
  }
  return "";
}

}  // namespace Halden::devhost
