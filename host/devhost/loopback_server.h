// An HTTP server on 127.0.0.1 with its serving thread: the development
// host's front and its mock service are both one. It refuses what the
// loopback guard refuses and answers every failure of its own with a JSON
// message.
#pragma once

#include <httplib.h>

#include <cstddef>
#include <string>
#include <thread>

namespace Halden::devhost {

class LoopbackServer {
 public:
  // Serves with `threads` worker threads; requests with bodies longer than
  // `maxBody` bytes are answered 413.
  LoopbackServer(std::size_t threads, std::size_t maxBody);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // Where the routes go; set them before Start.
  httplib::Server& Http() { return server; }

  // Binds 127.0.0.1:`port`, or a free port the system picks for 0. Unlike
  // the library's default the port is not shared with another listener, so
  // a port in use fails here: `error` then names the port and the reason.
  bool Bind(int port, std::string& error);
  int Port() const { return port; }
  // "http://127.0.0.1:<port>"
  std::string Url() const;

  // Serves on a thread of its own; returns once the server accepts.
  void Start();
  // Stops accepting, lets the running requests end and joins the thread.
  void Stop();

 private:
  httplib::Server server;
  std::thread thread;
  int port = 0;
};

}  // namespace Halden::devhost
