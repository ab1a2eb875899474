#include "host/devhost/loopback_guard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Halden::devhost {
namespace {

TEST(LoopbackGuard, RefusesForeignHostsAndCrossSiteChanges) {
  const std::vector<const char*> local = {"127.0.0.1:8080"};
  struct Case {
    const char* method;
    const char* path;
    std::vector<const char*> hosts;
    const char* origin;          // null: no Origin header
    const char* refusal;         // the start of the reason; "" when it passes
    const char* site = nullptr;  // Sec-Fetch-Site
  } cases[] = {
      {"GET", "/v1/email", local, nullptr, ""},
      {"GET", "/v1/email", {"LocalHost:8080"}, nullptr, ""},
      {"GET", "/v1/email", {"evil.example:8080"}, nullptr, "Refused: the Host header 'evil."},
      {"GET", "/v1/email", {"127.0.0.1:8081"}, nullptr, "Refused: the Host header"},
      {"GET", "/v1/email", {"127.0.0.1"}, nullptr, "Refused: the Host header"},
      {"GET", "/v1/email", {"localhost.:8080"}, nullptr, "Refused: the Host header"},
      {"GET", "/v1/email", {}, nullptr, "Refused: the request needs exactly one Host"},
      {"GET", "/v1/email", {"127.0.0.1:8080", "evil:8080"}, nullptr, "Refused: the request needs"},
      {"POST", "/v1/x", local, "null", "Refused: a cross-site POST"},
      {"DELETE", "/v1/x", local, "https://127.0.0.1:8080", "Refused: a cross-site"},
      {"PATCH", "/v1/x", local, "http://127.0.0.1:8081", "Refused: a cross-site"},
      {"GET", "/events", local, "http://evil.example", "Refused: a cross-site GET"},
      {"PUT", "/v1/email", local, "http://localhost:8080", ""},
      {"POST", "/_host/sign-in", {"localhost:8080"}, "http://127.0.0.1:8080", ""},
      {"PUT", "/v1/email", local, nullptr, ""},
      // What the browser marks cross-site is refused, Origin or not.
      {"GET", "/events", local, nullptr, "Refused: a cross-site GET /events", "cross-site"},
      {"GET", "/_host/token", local, nullptr, "Refused: a same-site GET", "Same-Site"},
      {"PUT", "/v1/%65mail", local, nullptr, "Refused: a cross-site PUT /v1/%65mail", "cross-site"},
      {"GET", "/v1/email", local, nullptr, "", "cross-site"},
      {"GET", "/events", local, nullptr, "", "same-origin"},
      {"POST", "/_host/sign-in", local, nullptr, "", "none"},
  };
  for (const Case& c : cases) {
    httplib::Request request;
    request.method = c.method;
    request.path = request.target = c.path;
    for (const char* host : c.hosts) request.headers.emplace("Host", host);
    if (c.origin != nullptr) request.headers.emplace("Origin", c.origin);
    if (c.site != nullptr) request.headers.emplace("Sec-Fetch-Site", c.site);
    const std::string refusal = LoopbackRefusal(request, 8080);
    EXPECT_TRUE(refusal.starts_with(c.refusal) && refusal.empty() == (*c.refusal == '\0'))
        << c.method << " " << c.path << " " << (c.origin ? c.origin : "-") << ": " << refusal;
  }
}

}  // namespace
}  // namespace Halden::devhost
