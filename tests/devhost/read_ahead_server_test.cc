#include "host/devhost/read_ahead_server.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "tests/devhost/devhost_test_support.h"
#include "tests/support/loopback_socket.h"

namespace Halden::devhost {
namespace {

// Keep-Alive says the reader's limits; a client sending more while answered has not left.
TEST(ReadAheadServer, SaysItsLimitsAndSeesAClientStay) {
  ReadAheadServer server(Settings(std::chrono::seconds(2), 7));
  std::promise<void> started, sentMore;
  std::vector<bool> left;
  server.Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("ok", "text/plain");
  });
  server.Get("/held", [&](const httplib::Request&, httplib::Response&) {
    started.set_value();
    sentMore.get_future().wait_for(std::chrono::seconds(10));
    left.push_back(ReadAheadServer::ClientLeft());
    ReadAheadServer::DropConnection();
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });
  httplib::Client client("127.0.0.1", port);
  client.set_keep_alive(true);
  const httplib::Result result = client.Get("/");
  EXPECT_EQ(result ? result->get_header_value("Keep-Alive") : "", "timeout=2, max=7");
  const int staying = testing::Connected(port);
  send(staying, "GET /held HTTP/1.1\r\nHost: x\r\n\r\n", 31, 0);
  started.get_future().wait();
  send(staying, "GET", 3, 0);
  sentMore.set_value();
  // Until the handler has dropped the connection.
  char byte;
  recv(staying, &byte, 1, 0);
  close(staying);
  client.stop();
  server.stop();
  serving.join();
  server.StopReading();
  EXPECT_EQ(left, std::vector<bool>{false});
}

}  // namespace
}  // namespace Halden::devhost
