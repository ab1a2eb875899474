#include "host/devhost/external_http.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "api/method.h"
#include "util/ascii_case.h"

namespace Halden::devhost {
namespace {

host::ExternalAnswer Failure(httplib::Error error, const std::string& text) {
  host::ExternalAnswer answer;
  answer.transport = static_cast<int32_t>(error);
  answer.status = 0;
  answer.body = text;
  return answer;
}

// "http://host:port/path?query" split after the authority; only the two
// schemes the library speaks.
bool SplitUrl(const std::string& url, std::string& origin, std::string& target) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string::npos) return false;
  const std::string name = LowerAscii(url.substr(0, scheme));
  if (name != "http" && name != "https") return false;
  const std::size_t path = url.find_first_of("/?#", scheme + 3);
  origin = name + url.substr(scheme, path == std::string::npos ? std::string::npos : path - scheme);
  if (origin.size() == name.size() + 3) return false;
  target = path == std::string::npos ? "/" : url.substr(path, url.find('#', path) - path);
  if (target.empty() || target[0] != '/') target.insert(0, "/");
  return true;
}

// The library's own names of its errors are single words.
std::string Describe(httplib::Error error) {
  switch (error) {
    case httplib::Error::Connection:
      return "Could not establish connection";
    case httplib::Error::ConnectionTimeout:
      return "Connection timed out";
    case httplib::Error::Read:
      return "Failed to read connection";
    case httplib::Error::Write:
      return "Failed to write connection";
    case httplib::Error::SSLConnection:
    case httplib::Error::SSLLoadingCerts:
    case httplib::Error::SSLServerVerification:
      return "TLS failure: " + httplib::to_string(error);
    default:
      return "Transport failure: " + httplib::to_string(error);
  }
}

}  // namespace

host::ExternalAnswer CarryExternalRequest(const host::ExternalCall& call, double timeoutScale) {
  const char* method = MethodName(call.method);
  if (*method == '\0') {
    return Failure(httplib::Error::Unknown,
                   "Unsupported method code " + std::to_string(call.method));
  }
  std::string origin;
  httplib::Request request;
  if (!SplitUrl(call.url, origin, request.path)) {
    return Failure(httplib::Error::Unknown, "Unsupported URL '" + call.url + "'");
  }
  request.method = method;
  for (const auto& [name, value] : call.headers) request.headers.emplace(name, value);
  request.body = call.body;
  try {
    httplib::Client client(origin);
    client.set_tcp_nodelay(true);
    const std::chrono::microseconds timeout = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::duration<double>(call.timeout * timeoutScale));
    if (call.timeout > 0) {
      const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
      const auto rest = timeout - seconds;
      client.set_connection_timeout(seconds.count(), rest.count());
      client.set_read_timeout(seconds.count(), rest.count());
      client.set_write_timeout(seconds.count(), rest.count());
    }
    const auto start = std::chrono::steady_clock::now();
    const httplib::Result result = client.send(request);
    if (!result) {
      // The library reports a read that timed out as one that failed.
      if (call.timeout > 0 && std::chrono::steady_clock::now() - start >= timeout) {
        char text[64];
        std::snprintf(text, sizeof text, "No answer within %g s", timeout.count() / 1e6);
        return Failure(result.error(), text);
      }
      return Failure(result.error(), Describe(result.error()));
    }
    host::ExternalAnswer answer;
    answer.status = static_cast<uint32_t>(result->status);
    for (const auto& [name, value] : result->headers) answer.headers.emplace_back(name, value);
    answer.body = result->body;
    return answer;
  } catch (const std::exception& failure) {
    return Failure(httplib::Error::Unknown, failure.what());
  }
}

}  // namespace Halden::devhost
