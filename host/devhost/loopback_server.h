// An HTTP server on 127.0.0.1 with its serving thread: the development
// host's front and its mock service are both one. It refuses what the
// loopback guard refuses and answers every failure of its own with a JSON
// message.
//
// Its connections are read by a ConnectionReader, so a client that sends
// slowly holds no worker, and every request is held to these limits:
//   - the whole request, head and body, within 5 seconds of the connection
//     being ready for it (an idle connection is closed then too): 408
//   - the request line and each header line at most 8192 bytes (414, 431),
//     at most 100 header lines and 64 KiB of head in all (431)
//   - the body, however it is framed, at most `maxBody` bytes (413); no
//     encoded body (415), no transfer coding but chunked (501)
//   - at most 256 connections at once (a new one drops the one that has
//     waited longest), 100 requests on one connection, and 4 times `maxBody`
//     of bodies being received at once (503)
// Requests sent back to back on one connection are answered in turn.
#pragma once

#include <httplib.h>

#include <cstddef>
#include <string>
#include <thread>

#include "host/devhost/read_ahead_server.h"

namespace Halden::devhost {

class LoopbackServer {
 public:
  // Serves with `threads` worker threads; bodies longer than `maxBody`
  // bytes are answered 413.
  LoopbackServer(std::size_t threads, std::size_t maxBody);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // Where the routes go; set them before Start.
  httplib::Server& Http() { return server; }
  // Logs every answer, refusals of requests that never reached a route
  // included (their method and target as far as they came).
  void SetLogger(httplib::Logger logger) { server.SetLogger(std::move(logger)); }

  // Binds 127.0.0.1:`port`, or a free port the system picks for 0. Unlike
  // the library's default the port is not shared with another listener, so
  // a port in use fails here: `error` then names the port and the reason,
  // and for a port in use the command-line `option` that sets it.
  bool Bind(int port, const std::string& option, std::string& error);
  int Port() const { return port; }
  // "http://127.0.0.1:<port>"
  std::string Url() const;

  // Serves on a thread of its own; returns once the server accepts.
  void Start();
  // Stops accepting, lets the running requests end and joins the thread.
  void Stop();

 private:
  ReadAheadServer server;
  std::thread thread;
  int port = 0;
};

}  // namespace Halden::devhost
