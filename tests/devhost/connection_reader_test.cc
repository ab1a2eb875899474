#include "host/devhost/connection_reader.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>

namespace Halden::devhost {
namespace {

// A request not whole by its deadline is refused with 408, though the rest
// of it is waiting to be read: a client that never stops sending is held
// to the deadline too.
TEST(ConnectionReader, HoldsARequestToItsDeadlineWhateverIsWaiting) {
  int ends[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
  const timeval wait{30, 0};
  setsockopt(ends[1], SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  // More than one read takes, all there before the reader sees it.
  const std::string request = "GET / HTTP/1.1\r\nX: " + std::string(100000, 'x') + "\r\n\r\n";
  ASSERT_EQ(send(ends[1], request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
  std::atomic<bool> handled = false;
  {
    ConnectionReader reader({{1 << 17, 10, 1 << 17, 0}, 1, std::chrono::milliseconds(0), 100, 8, 0},
                            [&](int, const FramedRequest&, bool) { return !(handled = true); });
    reader.Add(ends[0]);
    char buffer[256];
    const ssize_t count = recv(ends[1], buffer, sizeof buffer, 0);
    EXPECT_TRUE(std::string(buffer, std::max<ssize_t>(count, 0)).starts_with("HTTP/1.1 408 "));
  }
  EXPECT_FALSE(handled);
  close(ends[1]);
}

}  // namespace
}  // namespace Halden::devhost
