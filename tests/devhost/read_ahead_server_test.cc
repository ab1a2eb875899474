#include "host/devhost/read_ahead_server.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/loopback_socket.h"

namespace Halden::devhost {
namespace {

// One worker; a request must come whole within `timeout`, and a connection
// serves `requests` of them.
ReaderSettings Settings(std::chrono::seconds timeout, std::size_t requests) {
  return {{1 << 17, 10, 1 << 17, 0}, 1, timeout, requests, 8, 0};
}

// `server` listening on 127.0.0.1 while in scope; its routes are set
// before.
class Listening {
 public:
  explicit Listening(ReadAheadServer& server)
      : port(server.bind_to_any_port("127.0.0.1")),
        server(server),
        thread([&server] { server.listen_after_bind(); }) {}
  ~Listening() {
    server.stop();
    thread.join();
    server.StopReading();
  }

  const int port;

 private:
  ReadAheadServer& server;
  std::thread thread;
};

// The Keep-Alive header tells the client what the reader holds it to, not
// the library's defaults.
TEST(ReadAheadServer, KeepAliveSaysTheReadersLimits) {
  ReadAheadServer server(Settings(std::chrono::seconds(2), 7));
  server.Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("ok", "text/plain");
  });
  Listening listening(server);
  httplib::Client client("127.0.0.1", listening.port);
  client.set_keep_alive(true);
  const httplib::Result result = client.Get("/");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->get_header_value("Keep-Alive"), "timeout=2, max=7");
}

// A client that sends more while its request is answered has not left.
TEST(ReadAheadServer, AClientThatSendsMoreHasNotLeft) {
  ReadAheadServer server(Settings(std::chrono::seconds(5), 100));
  std::promise<void> started;
  std::promise<void> sentMore;
  std::vector<bool> left;
  server.Get("/", [&](const httplib::Request&, httplib::Response&) {
    started.set_value();
    sentMore.get_future().wait_for(std::chrono::seconds(10));
    left.push_back(ReadAheadServer::ClientLeft());
    ReadAheadServer::DropConnection();
  });
  {
    Listening listening(server);
    const int client = testing::Connected(listening.port);
    const std::string ask = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
    send(client, ask.data(), ask.size(), 0);
    started.get_future().wait();
    send(client, "GET", 3, 0);
    sentMore.set_value();
    // Until the handler has dropped the connection.
    char byte;
    recv(client, &byte, 1, 0);
    close(client);
  }
  EXPECT_EQ(left, std::vector<bool>{false});
}

}  // namespace
}  // namespace Halden::devhost
