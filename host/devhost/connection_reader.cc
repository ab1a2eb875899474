#include "host/devhost/connection_reader.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "host/devhost/json_reply.h"

namespace Halden::devhost {
namespace {

// How long a worker waits for a request that comes at once.
constexpr int kLingerMs = 10;

const char* ReasonPhrase(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 408:
      return "Request Timeout";
    case 413:
      return "Content Too Large";
    case 414:
      return "URI Too Long";
    case 415:
      return "Unsupported Media Type";
    case 431:
      return "Request Header Fields Too Large";
    case 501:
      return "Not Implemented";
    default:
      return "Service Unavailable";
  }
}

// Small answers to a socket that may be slow to read: what does not fit in
// its buffer now is not waited for.
void SendNow(int socket, const std::string& text) {
  send(socket, text.data(), text.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
}

}  // namespace

struct ConnectionReader::Connection {
  Connection(int socket, const FramingLimits& limits) : socket(socket), framer(limits) {}
  ~Connection() { close(socket); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const int socket;
  RequestFramer framer;
  std::string input;
  // The request a worker answers.
  FramedRequest request;
  Clock::time_point deadline;
  std::size_t served = 0;
  // Refused: what still comes is dropped until the client closes or the
  // deadline passes.
  bool draining = false;
};

ConnectionReader::ConnectionReader(const ReaderSettings& settings, Handler handler)
    : settings(settings),
      handler(std::move(handler)),
      workers(settings.workers),
      wakeup(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  thread = std::thread([this] { Run(); });
}

ConnectionReader::~ConnectionReader() {
  Stop();
  close(wakeup);
}

void ConnectionReader::Add(int socket) {
  auto connection = std::make_shared<Connection>(socket, settings.limits);
  connection->deadline = Clock::now() + settings.requestTimeout;
  if (queued.load() >= settings.maxConnections + settings.workers) {
    // The reader drains it, so that the client reads the answer.
    Refuse(*connection, 503,
           "The host has too many connections waiting for an answer; try again shortly");
    Return(std::move(connection));
    return;
  }
  Dispatch(std::move(connection), false);
}

void ConnectionReader::Stop() {
  {
    std::lock_guard guard(lock);
    if (stopping) return;
    stopping = true;
  }
  Wake();
  thread.join();
  workers.shutdown();
  arrived.clear();
}

void ConnectionReader::Wake() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(wakeup, &one, sizeof one);
}

void ConnectionReader::Run() {
  std::vector<pollfd> sockets;
  for (;;) {
    std::vector<std::shared_ptr<Connection>> newcomers;
    {
      std::lock_guard guard(lock);
      if (stopping) break;
      newcomers.swap(arrived);
    }
    for (std::shared_ptr<Connection>& connection : newcomers) {
      if (polled.size() >= settings.maxConnections) {
        polled.erase(std::min_element(
            polled.begin(), polled.end(),
            [](const auto& a, const auto& b) { return a->deadline < b->deadline; }));
      }
      // One that comes back may hold the next request already.
      if (Frame(connection)) polled.push_back(std::move(connection));
    }

    sockets.assign(1, {wakeup, POLLIN, 0});
    Clock::time_point next = Clock::time_point::max();
    for (const std::shared_ptr<Connection>& connection : polled) {
      sockets.push_back({connection->socket, POLLIN, 0});
      next = std::min(next, connection->deadline);
    }
    const int timeout =
        polled.empty()
            ? -1
            : static_cast<int>(std::max<int64_t>(
                  0, std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count()));
    if (poll(sockets.data(), sockets.size(), timeout) < 0 && errno != EINTR) break;
    if (sockets[0].revents != 0) {
      uint64_t count;
      [[maybe_unused]] const ssize_t read = ::read(wakeup, &count, sizeof count);
    }

    const Clock::time_point now = Clock::now();
    std::size_t index = 1;
    for (auto at = polled.begin(); at != polled.end(); ++index) {
      std::shared_ptr<Connection>& connection = *at;
      bool keep = true;
      // The deadline first: a client that never stops sending is held to it
      // too.
      if (now >= connection->deadline) {
        if (!connection->draining &&
            (connection->framer.PastHead() || !connection->input.empty())) {
          Refuse(*connection, 408,
                 "The request did not come whole within " +
                     std::to_string(settings.requestTimeout.count() / 1000) + " seconds");
        }
        keep = false;
      } else if (sockets[index].revents != 0) {
        keep = Receive(*connection) && Frame(connection);
      }
      at = keep ? std::next(at) : polled.erase(at);
    }
  }
  polled.clear();
}

bool ConnectionReader::Receive(Connection& connection) {
  char buffer[1 << 16];
  const ssize_t count = recv(connection.socket, buffer, sizeof buffer, MSG_DONTWAIT);
  if (count == 0) return false;
  if (count < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
  if (!connection.draining) connection.input.append(buffer, static_cast<std::size_t>(count));
  return true;
}

bool ConnectionReader::Frame(std::shared_ptr<Connection>& connection) {
  if (connection->draining) return true;
  RequestFramer& framer = connection->framer;
  switch (framer.Read(connection->input)) {
    case RequestFramer::Outcome::kNeedMore: {
      // Its own body too: one handed back by a worker is not polled yet.
      std::size_t bodies = framer.BodySize();
      for (const std::shared_ptr<Connection>& other : polled) {
        if (other != connection) bodies += other->framer.BodySize();
      }
      if (bodies > settings.bodyBudget) {
        Refuse(*connection, 503,
               "The host is receiving too many request bodies at once; send this one again");
      } else if (framer.TakeContinue()) {
        SendNow(connection->socket, "HTTP/1.1 100 Continue\r\n\r\n");
      }
      return true;
    }
    case RequestFramer::Outcome::kRefused:
      Refuse(*connection, framer.Status(), framer.Reason());
      return true;
    case RequestFramer::Outcome::kComplete:
      break;
  }
  connection->request = framer.Take();
  Dispatch(connection, true);
  return false;
}

void ConnectionReader::Refuse(Connection& connection, int status, const std::string& reason) {
  const std::string body = MessageJson(status, reason);
  SendNow(connection.socket, "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) +
                                 "\r\nContent-Type: application/json\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
                                 body);
  shutdown(connection.socket, SHUT_WR);
  if (refusalLogger) refusalLogger(connection.framer.Method(), connection.framer.Target(), status);
  // What was read of the request is no longer needed.
  connection.framer = RequestFramer(settings.limits);
  connection.input = {};
  connection.draining = true;
  connection.deadline = Clock::now() + settings.requestTimeout;
}

void ConnectionReader::Dispatch(std::shared_ptr<Connection> connection, bool framed) {
  ++queued;
  workers.enqueue([this, connection, framed]() mutable {
    --queued;
    Serve(std::move(connection), framed);
  });
}

ConnectionReader::Next ConnectionReader::AwaitRequest(Connection& connection) {
  pollfd in{connection.socket, POLLIN, 0};
  if (connection.input.empty() && poll(&in, 1, kLingerMs) > 0 && !Receive(connection)) {
    return Next::kClosed;
  }
  if (connection.framer.Read(connection.input) != RequestFramer::Outcome::kComplete) {
    return Next::kReader;
  }
  connection.request = connection.framer.Take();
  return Next::kRequest;
}

void ConnectionReader::Serve(std::shared_ptr<Connection> connection, bool framed) {
  for (;; framed = false) {
    if (!framed) {
      const Next next = AwaitRequest(*connection);
      if (next == Next::kClosed) return;
      if (next == Next::kReader) break;
    }
    const bool last = ++connection->served >= settings.maxRequestsPerConnection;
    if (!handler(connection->socket, connection->request, last)) return;
    connection->request = {};
  }
  Return(std::move(connection));
}

void ConnectionReader::Return(std::shared_ptr<Connection> connection) {
  connection->deadline = Clock::now() + settings.requestTimeout;
  {
    std::lock_guard guard(lock);
    if (stopping) return;
    arrived.push_back(std::move(connection));
  }
  Wake();
}

}  // namespace Halden::devhost
