#include "host/devhost/external_http.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <tuple>

#include "tests/support/loopback_socket.h"

namespace Halden::devhost {
namespace {

TEST(ExternalHttp, CarriesRequestsAndMapsTransportFailures) {
  httplib::Server server;
  server.Put("/(echo)?", [](const httplib::Request& request, httplib::Response& response) {
    response.status = 201;
    response.set_header("X-Seen", request.get_header_value("Authorization"));
    response.set_content(request.method + " " + request.target + " " + request.body, "text/plain");
  });
  // {"a":1} packed, though nobody asked for it packed.
  const std::string packed(
      "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xab\x56\x4a\x54\xb2\x32\xac\x05\x00\xaf\xac\x1b\x56"
      "\x07\x00\x00\x00",
      27);
  server.Get("/packed", [&](const httplib::Request&, httplib::Response& response) {
    response.set_header("Content-Encoding", "gzip");
    response.set_content(packed, "application/json");
  });
  server.Get("/slow", [](const httplib::Request&, httplib::Response& response) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    response.set_content("late", "text/plain");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  ASSERT_GT(port, 0);
  std::thread serving([&] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  // A service with a full queue is given up on at the call's time-out, not the library's.
  const int listening = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = testing::Loopback(0);
  socklen_t length = sizeof address;
  EXPECT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&address), length), 0);
  EXPECT_EQ(listen(listening, 0), 0);
  getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length);
  const int queued = testing::Connected(ntohs(address.sin_port));
  const std::string full = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  // `scale` shortens the clock: the plugin's 30 s are 0.6 s at 0.02.
  const std::tuple<uint32_t, std::string, uint32_t, double, int32_t, uint32_t, std::string>
      cases[] = {
          {7, base + "/echo?a=1#part", 30, 1, 0, 201, "PUT /echo?a=1 {\"x\":1}"},
          // A query right after the host asks for the root.
          {7, base + "?a=1", 30, 1, 0, 201, "PUT /?a=1 {\"x\":1}"},
          // The target as written, but for what a request line cannot carry.
          {7, base + "/echo?q=a+b,c;d's e\xC3\xA9", 30, 1, 0, 201,
           "PUT /echo?q=a+b,c;d's%20e%C3%A9 {\"x\":1}"},
          {7, "HTTP" + base.substr(4) + "/echo", 0, 1, 0, 201, "PUT /echo {\"x\":1}"},
          {2, base + "/slow", 30, 0.02, static_cast<int32_t>(httplib::Error::Read), 0,
           "No answer within 0.6 s"},
          {2, full, 30, 0.02, static_cast<int32_t>(httplib::Error::ConnectionTimeout), 0,
           "No answer within 0.6 s"},
          // An answer comes as it came, its body as its headers say.
          {2, base + "/packed", 5, 1, 0, 200, packed},
          {2, "https" + base.substr(4) + "/echo", 5, 1,
           static_cast<int32_t>(httplib::Error::SSLConnection), 0, "TLS failure: SSLConnection"},
          {2, "ftp://127.0.0.1/x", 5, 1, 1, 0, "Unsupported URL 'ftp://127.0.0.1/x'"},
          {2, "http:///x", 5, 1, 1, 0, "Unsupported URL 'http:///x'"},
          {2, "http", 5, 1, 1, 0, "Unsupported URL 'http'"},
          {8, base + "/echo", 5, 1, 1, 0, "Unsupported method code 8"},
      };
  for (const auto& [method, url, timeout, scale, transport, status, body] : cases) {
    const host::ExternalAnswer answer = CarryExternalRequest(
        {method, url, {{"Authorization", "Bearer t"}}, "{\"x\":1}", false, timeout, 1}, scale);
    EXPECT_EQ(std::tie(answer.transport, answer.status, answer.body),
              std::tie(transport, status, body))
        << url;
    const std::pair<std::string, std::string> seen{"X-Seen", "Bearer t"};
    EXPECT_EQ(std::ranges::count(answer.headers, seen), status == 201 ? 1 : 0) << url;
  }
  close(listening);
  close(queued);
  const host::ExternalAnswer refused = CarryExternalRequest(
      {7, base + "/echo", {{"Authorization", "Bearer t\r\nX-Injected: yes"}}, "", false, 5, 1}, 1);
  EXPECT_EQ(std::tie(refused.transport, refused.status, refused.body),
            std::tuple(int32_t{1}, uint32_t{0},
                       std::string("The header 'Authorization' holds a line break or a NUL")));
  server.stop();
  serving.join();
}

}  // namespace
}  // namespace Halden::devhost
