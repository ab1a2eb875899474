#include "host/devhost/read_ahead_server.h"

#include <gtest/gtest.h>

#include <thread>

namespace Halden::devhost {
namespace {

// The Keep-Alive header tells the client what the reader holds it to, not
// the library's defaults.
TEST(ReadAheadServer, KeepAliveSaysTheReadersLimits) {
  ReadAheadServer server({{1 << 17, 10, 1 << 17, 0}, 1, std::chrono::seconds(2), 7, 8, 0});
  server.Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("ok", "text/plain");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  ASSERT_GT(port, 0);
  std::thread listening([&] { server.listen_after_bind(); });
  httplib::Client client("127.0.0.1", port);
  client.set_keep_alive(true);
  const httplib::Result result = client.Get("/");
  server.stop();
  listening.join();
  server.StopReading();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->get_header_value("Keep-Alive"), "timeout=2, max=7");
}

}  // namespace
}  // namespace Halden::devhost
