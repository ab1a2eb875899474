// Reads the requests of every open connection of a server on one thread,
// and hands each whole request to a pool of workers. No worker waits long
// for a client: a connection that sends one byte a second costs a slot in
// the reader, and is dropped when its request has not all come within the
// request timeout. A worker answers the requests that come at once (with a
// new connection, or right after an answer) and hands the connection to the
// reader otherwise; the bytes that came after a request (a pipelined
// one) are the next request's.
//
// The reader answers what the framer refuses itself, with a JSON message,
// then reads and drops what the client still sends for a moment, so that it
// sees the answer rather than a reset connection.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/devhost/request_framer.h"

namespace Halden::devhost {

struct ReaderSettings {
  FramingLimits limits;
  std::size_t workers;
  // From the moment a connection is ready for a request (accepted, or its
  // last answer sent) to the last byte of that request: an idle connection
  // is closed then too.
  std::chrono::milliseconds requestTimeout;
  std::size_t maxRequestsPerConnection;
  // Connections held at once; a new one beyond drops the one that has
  // waited longest. As many again, and one a worker, may wait for a
  // worker; a new one beyond is refused with 503.
  std::size_t maxConnections;
  // Body bytes held by all connections being read; a connection whose body
  // would go past it is refused with 503.
  std::size_t bodyBudget;
};

class ConnectionReader {
 public:
  // Answers `request` on `socket`, on a worker; `last` when the connection
  // must close after the answer. Returns whether it stays open.
  using Handler = std::function<bool(int socket, const FramedRequest& request, bool last)>;
  // Told of each refusal the reader answers: the request line's method and
  // target as far as they came, and the status.
  using RefusalLogger =
      std::function<void(const std::string& method, const std::string& target, int status)>;

  ConnectionReader(const ReaderSettings& settings, Handler handler);
  ~ConnectionReader();
  ConnectionReader(const ConnectionReader&) = delete;
  ConnectionReader& operator=(const ConnectionReader&) = delete;

  // Set before the first connection.
  void SetRefusalLogger(RefusalLogger logger) { refusalLogger = std::move(logger); }
  // Takes an accepted connection over; it is closed here in the end.
  void Add(int socket);
  // Closes the connections waiting for a request and waits for the requests
  // being answered.
  void Stop();

 private:
  struct Connection;
  using Clock = std::chrono::steady_clock;

  void Run();
  // Reads what the socket holds (false when the connection is to close) and
  // frames it.
  bool Receive(Connection& connection);
  // Frames what the input holds: hands a whole request to a worker (and the
  // connection with it), or answers a refusal. False when the connection
  // is no longer the reader's to poll.
  bool Frame(std::shared_ptr<Connection>& connection);
  void Refuse(Connection& connection, int status, const std::string& reason);
  // Queues the connection for a worker, to answer `framed` request first or
  // to await one.
  void Dispatch(std::shared_ptr<Connection> connection, bool framed);
  enum class Next { kRequest, kReader, kClosed };
  // On a worker: a client's request most often comes at once, with its
  // connection or right after the last answer. A moment's wait for it saves
  // handing the connection to the reader and back, and is all a slow
  // client can take of a worker. kRequest when one came whole (in
  // `request`), kReader when the reader is to wait for it.
  Next AwaitRequest(Connection& connection);
  // On a worker: answers the connection's requests as long as each comes
  // at once; `framed` when one is in `request` already.
  void Serve(std::shared_ptr<Connection> connection, bool framed);
  // A worker hands a connection back, or closes it when the reader stops.
  void Return(std::shared_ptr<Connection> connection);
  void Wake();

  const ReaderSettings settings;
  const Handler handler;
  RefusalLogger refusalLogger;
  httplib::ThreadPool workers;
  // Connections queued for a worker, which the pool would hold without
  // bound.
  std::atomic<std::size_t> queued = 0;
  const int wakeup;  // an eventfd: a connection came, or came back
  std::thread thread;
  // The reader's own: the connections it polls.
  std::list<std::shared_ptr<Connection>> polled;
  std::size_t bodyBytes = 0;
  // Handed over by other threads.
  std::mutex lock;
  std::vector<std::shared_ptr<Connection>> arrived;
  bool stopping = false;
};

}  // namespace Halden::devhost
