// An httplib::Server whose connections are read by a ConnectionReader: the
// library parses, routes and answers each request from the bytes the reader
// has read whole, and writes the answer to the connection itself. Its
// listening thread only accepts.
#pragma once

#include <httplib.h>

#include "host/devhost/connection_reader.h"

namespace Halden::devhost {

class ReadAheadServer final : public httplib::Server {
 public:
  explicit ReadAheadServer(const ReaderSettings& settings);

  // The logger of every answer, the reader's refusals included.
  void SetLogger(httplib::Logger logger);
  // Closes the connections and waits for the requests being answered; once
  // the server has stopped listening.
  void StopReading() { reader.Stop(); }

  // For a route's handler, about the request it answers on the calling
  // thread: the request as it came, head and body, where the library's
  // reading changes header values and skips some bodies; null on any
  // other thread;
  static const FramedRequest* Framed();
  // closes its connection without an answer, once the handler returns;
  static void DropConnection();
  // tells, without waiting, whether the client has closed it.
  static bool ClientLeft();

 private:
  bool process_and_close_socket(socket_t socket) override;
  bool Answer(int socket, const FramedRequest& request, bool last);

  ConnectionReader reader;
};

}  // namespace Halden::devhost
