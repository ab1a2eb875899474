#include "host/devhost/connection_reader.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/devhost/devhost_test_support.h"

namespace Halden::devhost {
namespace {

// A connected pair, the reader's end first; the client's gives up a receive after `seconds`.
bool Connect(int ends[2], time_t seconds) {
  const timeval wait{seconds, 0};
  return socketpair(AF_UNIX, SOCK_STREAM, 0, ends) == 0 &&
         setsockopt(ends[1], SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) == 0;
}

// Each answer starts the request timeout anew: a second request past the first is answered.
TEST(ConnectionReader, EachAnswerStartsTheTimeoutAnew) {
  int ends[2];
  ASSERT_TRUE(Connect(ends, 10));
  {
    ConnectionReader reader(Settings(std::chrono::milliseconds(1000)), [](int socket, auto&, bool) {
      return send(socket, "ok\n", 3, MSG_NOSIGNAL) == 3;
    });
    reader.Add(ends[0]);
    for (int request = 1; request <= 2; ++request) {
      std::this_thread::sleep_for(std::chrono::milliseconds(700));
      send(ends[1], "GET / HTTP/1.1\r\n\r\n", 18, MSG_NOSIGNAL);
      char buffer[16];
      EXPECT_EQ(recv(ends[1], buffer, sizeof buffer, 0), 3) << request;
    }
  }
  close(ends[1]);
}

// Past the most connections held at once, the longest waiting is closed; as many as held,
// plus one, may wait for a worker, and one more is answered 503.
TEST(ConnectionReader, HoldsConnectionsToItsLimits) {
  int ends[11][2];
  char buffer[64];
  {
    ConnectionReader reader(Settings(std::chrono::minutes(1)),
                            [](int, auto&, bool) { return true; });
    for (int i = 0; i < 9; ++i) {
      ASSERT_TRUE(Connect(ends[i], 5));
      reader.Add(ends[i][0]);
    }
    EXPECT_EQ(recv(ends[0][1], buffer, 1, 0), 0);
    EXPECT_EQ(recv(ends[1][1], buffer, 1, MSG_DONTWAIT), -1);
  }
  for (int i = 0; i < 9; ++i) close(ends[i][1]);
  std::atomic<bool> held = false, release = false;
  for (int(&pair)[2] : ends) ASSERT_TRUE(Connect(pair, 5));
  {
    ConnectionReader reader(Settings(std::chrono::minutes(1)), [&](int, auto&, bool) {
      held = true;
      while (!release) std::this_thread::yield();
      return false;
    });
    send(ends[0][1], "GET / HTTP/1.1\r\n\r\n", 18, 0);
    reader.Add(ends[0][0]);
    while (!held) std::this_thread::yield();
    for (int i = 1; i < 11; ++i) reader.Add(ends[i][0]);
    const ssize_t count = recv(ends[10][1], buffer, sizeof buffer, 0);
    EXPECT_TRUE(std::string(buffer, std::max<ssize_t>(count, 0)).starts_with("HTTP/1.1 503 "));
    EXPECT_EQ(recv(ends[9][1], buffer, sizeof buffer, MSG_DONTWAIT), -1);
    release = true;
  }
  for (int(&pair)[2] : ends) close(pair[1]);
}

using Handled = std::vector<std::string>;
using Exchange = std::pair<std::string, Handled>;

// What a client sending `bytes` (closing its side if `closing`) reads until the reader
// closes (" (left open)" if not in 5 s), and the request lines the handler was given.
Exchange Converse(const std::string& bytes, bool closing = true,
                  std::chrono::milliseconds timeout = std::chrono::minutes(1)) {
  int ends[2];
  EXPECT_TRUE(Connect(ends, 5));
  send(ends[1], bytes.data(), bytes.size(), 0);
  if (closing) shutdown(ends[1], SHUT_WR);
  std::string read;
  Handled handled;
  std::mutex lock;
  ssize_t count;
  {
    ConnectionReader reader(Settings(timeout), [&](int socket, const FramedRequest& request, bool) {
      std::lock_guard guard(lock);
      handled.push_back(request.head.substr(0, request.head.find('\r')));
      return send(socket, "ok\n", 3, MSG_NOSIGNAL) == 3;
    });
    reader.Add(ends[0]);
    char buffer[256];
    while ((count = recv(ends[1], buffer, sizeof buffer, 0)) > 0) read.append(buffer, count);
  }
  close(ends[1]);
  const bool open = count < 0 && errno == EAGAIN;
  return {read.substr(0, read.find('\r')) + (open ? " (left open)" : ""), handled};
}

// What came before the client closed is answered; a refusal reaches no handler and
// closes; a client gone mid-request is let go at once.
TEST(ConnectionReader, AnswersWhatCameBeforeTheClientClosed) {
  const std::string refused = "POST / HTTP/1.1\r\nContent-Length: 1\r\n\r\nx";
  EXPECT_EQ(Converse("GET /1 HTTP/1.1\r\n\r\nGET /2 HTTP/1.1\r\n\r\n"),
            Exchange("ok\nok\n", Handled{"GET /1 HTTP/1.1", "GET /2 HTTP/1.1"}));
  EXPECT_EQ(Converse(refused), Exchange("HTTP/1.1 413 Content Too Large", Handled{}));
  EXPECT_EQ(Converse(refused, false), Exchange("HTTP/1.1 413 Content Too Large", Handled{}));
  EXPECT_EQ(Converse("GET / HTTP/1.1\r\n"), Exchange("", Handled{}));
  // Held to its deadline though the rest of it waits to be read.
  EXPECT_EQ(Converse("GET / HTTP/1.1\r\nX: " + std::string(100000, 'x') + "\r\n\r\n", false,
                     std::chrono::milliseconds(0)),
            Exchange("HTTP/1.1 408 Request Timeout", Handled{}));
}

}  // namespace
}  // namespace Halden::devhost
