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

// The target as the plugin wrote it, but for the bytes a request line
// cannot carry: the library's own encoding would also rewrite '+', ',', ';'
// and '\'', and the service would read another URL.
std::string RequestTarget(const std::string& target) {
  std::string written;
  for (const char c : target) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7f) {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", byte);
      written += escape;
    } else {
      written += c;
    }
  }
  return written;
}

bool HoldsLineBreak(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
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
  request.path = RequestTarget(request.path);
  request.method = method;
  for (const auto& [name, value] : call.headers) {
    // Written as it is, a line break would end the header and begin
    // another of the text's choosing.
    if (HoldsLineBreak(name) || HoldsLineBreak(value)) {
      const std::string shown = name.substr(0, name.find_first_of("\r\n"));
      return Failure(httplib::Error::Unknown,
                     "The header '" + shown + "' holds a line break or a NUL");
    }
    request.headers.emplace(name, value);
  }
  request.body = call.body;
  try {
    httplib::Client client(origin);
    client.set_tcp_nodelay(true);
    // The target as written (the library would encode it again), and the
    // answer as it came (the library would unpack a packed body under
    // headers that still say it is packed).
    client.set_url_encode(false);
    client.set_decompress(false);
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
