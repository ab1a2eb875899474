#include "host/devhost/loopback_server.h"

#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "host/devhost/json_reply.h"
#include "host/devhost/loopback_guard.h"

namespace Halden::devhost {
namespace {

ReaderSettings Settings(std::size_t threads, std::size_t maxBody) {
  ReaderSettings settings;
  // The library's own limit of a line, kept for every line.
  settings.limits = {8192, 100, 64 << 10, maxBody};
  settings.workers = threads;
  settings.requestTimeout = std::chrono::seconds(5);
  settings.maxRequestsPerConnection = 100;
  settings.maxConnections = 256;
  settings.bodyBudget = 4 * maxBody;
  return settings;
}

std::string FailureText(int status) {
  switch (status) {
    case 400:
      return "Malformed request";
    case 404:
      return "Not found";
    default:
      return "HTTP status " + std::to_string(status);
  }
}

}  // namespace

LoopbackServer::LoopbackServer(std::size_t threads, std::size_t maxBody)
    : server(Settings(threads, maxBody)) {
  // Without it a response's body waits for the client's delayed
  // acknowledgement of its headers: some 40 ms per request.
  server.set_tcp_nodelay(true);
  server.set_socket_options([](socket_t socket) {
    int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  server.set_pre_routing_handler(
      [this](const httplib::Request& request, httplib::Response& response) {
        const std::string refusal = LoopbackRefusal(request, port);
        if (refusal.empty()) return httplib::Server::HandlerResponse::Unhandled;
        ReplyMessage(response, 403, refusal);
        return httplib::Server::HandlerResponse::Handled;
      });
  // The library's own failures (malformed request lines, paths no route
  // takes) come without a body or a type; a route's answer has its type,
  // an empty body included.
  server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (response.body.empty() && !response.has_header("Content-Type"))
      ReplyMessage(response, response.status, FailureText(response.status));
  });
}

LoopbackServer::~LoopbackServer() { Stop(); }

bool LoopbackServer::Bind(int wanted, const std::string& option, std::string& error) {
  errno = 0;
  port = wanted == 0 ? server.bind_to_any_port("127.0.0.1") : wanted;
  if (port > 0 && (wanted == 0 || server.bind_to_port("127.0.0.1", wanted))) return true;
  const int reason = errno;
  const std::string name = wanted == 0 ? "a free port" : "port " + std::to_string(wanted);
  error = reason == EADDRINUSE
              ? name + " on 127.0.0.1 is already in use: choose another with " + option +
                    "=N, or " + option + "=0 for a free one"
              : "cannot listen on " + name +
                    " of 127.0.0.1: " + (reason != 0 ? std::strerror(reason) : "bind failed");
  port = 0;
  return false;
}

std::string LoopbackServer::Url() const { return "http://127.0.0.1:" + std::to_string(port); }

void LoopbackServer::Start() {
  thread = std::thread([this] { server.listen_after_bind(); });
  // A stop before the server runs would be lost.
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void LoopbackServer::Stop() {
  if (!thread.joinable()) return;
  server.stop();
  thread.join();
  server.StopReading();
}

}  // namespace Halden::devhost
