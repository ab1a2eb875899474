#include "host/devhost/read_ahead_server.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace Halden::devhost {
namespace {

// Runs each job where it is queued: the listening thread hands an accepted
// connection to the reader and goes back to accepting.
class InlineQueue final : public httplib::TaskQueue {
 public:
  void enqueue(std::function<void()> job) override { job(); }
  void shutdown() override {}
};

// The numeric address and port of either end of `socket`.
void Address(int socket, bool peer, std::string& ip, int& port) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  auto* generic = reinterpret_cast<sockaddr*>(&address);
  char host[NI_MAXHOST] = "";
  char service[NI_MAXSERV] = "";
  if ((peer ? getpeername(socket, generic, &length) : getsockname(socket, generic, &length)) == 0 &&
      getnameinfo(generic, length, host, sizeof host, service, sizeof service,
                  NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
    ip = host;
    port = std::atoi(service);
  }
}

// The connection whose request this thread answers, the request as it was
// framed, and whether its handler dropped the connection.
struct Answering {
  int socket;
  const FramedRequest& request;
  bool dropped = false;
};
thread_local Answering* answering = nullptr;

// A framed request for the library to read, and its connection to write
// the answer to.
class FramedStream final : public httplib::Stream {
 public:
  FramedStream(int socket, const FramedRequest& request, int writeTimeoutMs)
      : socket_(socket), request(request), writeTimeoutMs(writeTimeoutMs) {}

  bool is_readable() const override { return true; }
  // Writable in time. A client that has only closed its own side still
  // reads the answer; a stream that outlives its client asks ClientLeft.
  bool is_writable() const override {
    pollfd out{socket_, POLLOUT, 0};
    return poll(&out, 1, writeTimeoutMs) > 0 && (out.revents & (POLLERR | POLLHUP)) == 0;
  }
  ssize_t read(char* data, size_t size) override {
    const std::string& part = position < request.head.size() ? request.head : request.body;
    const std::size_t offset =
        position < request.head.size() ? position : position - request.head.size();
    const std::size_t count = std::min(size, part.size() - offset);
    std::memcpy(data, part.data() + offset, count);
    position += count;
    return static_cast<ssize_t>(count);
  }
  ssize_t write(const char* data, size_t size) override {
    const bool dropped = answering != nullptr && answering->dropped;
    return !dropped && is_writable() ? send(socket_, data, size, MSG_NOSIGNAL) : -1;
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    Address(socket_, true, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    Address(socket_, false, ip, port);
  }
  socket_t socket() const override { return socket_; }

 private:
  const int socket_;
  const FramedRequest& request;
  const int writeTimeoutMs;
  std::size_t position = 0;
};

}  // namespace

ReadAheadServer::ReadAheadServer(const ReaderSettings& settings)
    : reader(settings, [this](int socket, const FramedRequest& request, bool last) {
        return Answer(socket, request, last);
      }) {
  new_task_queue = [] { return new InlineQueue; };
  // What the library says of its connections in the Keep-Alive header.
  set_keep_alive_max_count(settings.maxRequestsPerConnection);
  set_keep_alive_timeout(
      std::chrono::duration_cast<std::chrono::seconds>(settings.requestTimeout).count());
}

void ReadAheadServer::SetLogger(httplib::Logger logger) {
  reader.SetRefusalLogger(
      [logger](const std::string& method, const std::string& target, int status) {
        httplib::Request request;
        request.method = method;
        request.target = target;
        httplib::Response response;
        response.status = status;
        logger(request, response);
      });
  set_logger(std::move(logger));
}

bool ReadAheadServer::process_and_close_socket(socket_t socket) {
  reader.Add(socket);
  return true;
}

bool ReadAheadServer::Answer(int socket, const FramedRequest& request, bool last) {
  FramedStream stream(socket, request,
                      static_cast<int>(write_timeout_sec_ * 1000 + write_timeout_usec_ / 1000));
  Answering connection{socket, request};
  answering = &connection;
  bool closed = false;
  const bool open = process_request(stream, last, closed, nullptr) && !last && !closed;
  answering = nullptr;
  return open && !connection.dropped;
}

const FramedRequest* ReadAheadServer::Framed() {
  return answering != nullptr ? &answering->request : nullptr;
}

void ReadAheadServer::DropConnection() {
  if (answering != nullptr) answering->dropped = true;
}

bool ReadAheadServer::ClientLeft() {
  if (answering == nullptr) return false;
  pollfd in{answering->socket, POLLIN, 0};
  char byte;
  return poll(&in, 1, 0) > 0 && ((in.revents & (POLLERR | POLLHUP)) != 0 ||
                                 recv(answering->socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0);
}

}  // namespace Halden::devhost
