#include "host/devhost/connection_reader.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Halden::devhost {
namespace {

// One worker; a request must come whole within `timeout`.
ReaderSettings Settings(std::chrono::milliseconds timeout) {
  return {{1 << 17, 10, 1 << 17, 0}, 1, timeout, 100, 8, 0};
}

// A connected pair, the reader's end first; the client's end gives up a
// receive after `seconds`.
bool Connect(int ends[2], time_t seconds) {
  const timeval wait{seconds, 0};
  return socketpair(AF_UNIX, SOCK_STREAM, 0, ends) == 0 &&
         setsockopt(ends[1], SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) == 0;
}

// A request not whole by its deadline is refused with 408, though the rest
// of it is waiting to be read: a client that never stops sending is held
// to the deadline too.
TEST(ConnectionReader, HoldsARequestToItsDeadlineWhateverIsWaiting) {
  int ends[2];
  ASSERT_TRUE(Connect(ends, 30));
  // More than one read takes, all there before the reader sees it.
  const std::string request = "GET / HTTP/1.1\r\nX: " + std::string(100000, 'x') + "\r\n\r\n";
  ASSERT_EQ(send(ends[1], request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
  std::atomic<bool> handled = false;
  {
    ConnectionReader reader(Settings(std::chrono::milliseconds(0)),
                            [&](int, const FramedRequest&, bool) { return !(handled = true); });
    reader.Add(ends[0]);
    char buffer[256];
    const ssize_t count = recv(ends[1], buffer, sizeof buffer, 0);
    EXPECT_TRUE(std::string(buffer, std::max<ssize_t>(count, 0)).starts_with("HTTP/1.1 408 "));
  }
  EXPECT_FALSE(handled);
  close(ends[1]);
}

// Each answer starts the connection's request timeout anew: a request that
// comes after the first timeout has passed, but within the one that began
// with the answer before it, is answered too.
TEST(ConnectionReader, EachAnswerStartsTheTimeoutAnew) {
  int ends[2];
  ASSERT_TRUE(Connect(ends, 10));
  {
    ConnectionReader reader(Settings(std::chrono::milliseconds(1000)),
                            [](int socket, const FramedRequest&, bool) {
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

// Past the most connections held at once, the one that has waited longest
// is closed to make room.
TEST(ConnectionReader, ClosesTheLongestWaitingPastItsLimit) {
  int ends[9][2];
  {
    ConnectionReader reader(Settings(std::chrono::milliseconds(60000)),
                            [](int, const FramedRequest&, bool) { return true; });
    for (int(&pair)[2] : ends) {
      ASSERT_TRUE(Connect(pair, 5));
      reader.Add(pair[0]);
    }
    char byte;
    EXPECT_EQ(recv(ends[0][1], &byte, 1, 0), 0);
    EXPECT_EQ(recv(ends[1][1], &byte, 1, MSG_DONTWAIT), -1);
  }
  for (int(&pair)[2] : ends) close(pair[1]);
}

// As many connections as the reader holds, and one a worker, may wait for a
// worker; a new one beyond is answered 503 at once.
TEST(ConnectionReader, RefusesANewConnectionWhenTooManyWaitForAWorker) {
  std::atomic<bool> held = false;
  std::atomic<bool> release = false;
  int ends[11][2];
  char buffer[64];
  {
    ConnectionReader reader(Settings(std::chrono::milliseconds(60000)),
                            [&](int, const FramedRequest&, bool) {
                              held = true;
                              while (!release) std::this_thread::yield();
                              return false;
                            });
    for (int(&pair)[2] : ends) ASSERT_TRUE(Connect(pair, 5));
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

using Lines = std::vector<std::string>;
using Exchange = std::pair<std::string, Lines>;

// What a client that sends `bytes`, and closes its side if `closing`, reads
// back until the reader closes its own, marked " (left open)" when that had
// not come after 5 s; and the request lines the handler was given.
Exchange Converse(const std::string& bytes, bool closing = true) {
  int ends[2];
  EXPECT_TRUE(Connect(ends, 5));
  send(ends[1], bytes.data(), bytes.size(), 0);
  if (closing) shutdown(ends[1], SHUT_WR);
  std::string read;
  Lines handled;
  std::mutex lock;
  ssize_t count;
  {
    ConnectionReader reader(Settings(std::chrono::milliseconds(60000)),
                            [&](int socket, const FramedRequest& request, bool) {
                              std::lock_guard guard(lock);
                              handled.push_back(request.head.substr(0, request.head.find('\r')));
                              send(socket, "ok\n", 3, MSG_NOSIGNAL);
                              return true;
                            });
    reader.Add(ends[0]);
    char buffer[256];
    while ((count = recv(ends[1], buffer, sizeof buffer, 0)) > 0) {
      read.append(buffer, static_cast<std::size_t>(count));
    }
  }
  close(ends[1]);
  return {read.substr(0, read.find('\r')) + (count == 0 ? "" : " (left open)"), handled};
}

// Each request that came before the client closed is answered, a pipelined
// one too; a refused one reaches no handler, and its answer ends with the
// connection whether or not the client closes. A client gone in the middle
// of a request is let go at once, not held to its deadline.
TEST(ConnectionReader, AnswersWhatCameBeforeTheClientClosed) {
  const std::string refused = "POST / HTTP/1.1\r\nContent-Length: 1\r\n\r\nx";
  EXPECT_EQ(Converse("GET /1 HTTP/1.1\r\n\r\nGET /2 HTTP/1.1\r\n\r\n"),
            Exchange("ok\nok\n", Lines{"GET /1 HTTP/1.1", "GET /2 HTTP/1.1"}));
  EXPECT_EQ(Converse(refused), Exchange("HTTP/1.1 413 Content Too Large", Lines{}));
  EXPECT_EQ(Converse(refused, false), Exchange("HTTP/1.1 413 Content Too Large", Lines{}));
  EXPECT_EQ(Converse("GET / HTTP/1.1\r\n"), Exchange("", Lines{}));
}

}  // namespace
}  // namespace Halden::devhost
