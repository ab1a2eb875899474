// A stream of server-sent events, as the host serves the events the plugin
// sends (GET /events) and its log lines (GET /_host/log): each client
// receives every event published after it connected, as
//   id: <sequence number>
//   event: <event name>
//   data: <payload as compact JSON>
// followed by an empty line. A comment line, ": <what the stream carries>",
// opens the stream; another keeps an idle one alive, which also notices a
// client that has gone.
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

namespace Halden::devhost {

// One event in the wire form above.
std::string FormatServerSentEvent(uint64_t id, const std::string& name, const std::string& data);

class EventStream {
 public:
  // At most `maxClients` streams at once: each holds one of the server's
  // threads while it runs. `carries` names what the stream carries in its
  // opening comment ("events of the plugin").
  EventStream(std::size_t maxClients, std::string carries)
      : maxClients(maxClients), opening(": " + carries + "\n\n") {}

  // Hands the event `name` with `data` (one line of JSON) to every stream; a
  // stream that falls more than the last 256 events behind skips the older
  // ones.
  void Publish(const std::string& name, const std::string& data);
  // Answers with the stream, or 503 when there are maxClients already.
  void Serve(httplib::Response& response);
  // Ends every stream, so that the server can stop.
  void Close();

 private:
  struct Entry {
    uint64_t id;
    std::string text;
  };
  // The stream text after `cursor`, waiting a while for some; a keep-alive
  // comment when none came. Advances the cursor.
  std::string Next(uint64_t& cursor);

  const std::size_t maxClients;
  const std::string opening;
  std::mutex lock;
  std::condition_variable changed;
  std::deque<Entry> recent;
  uint64_t nextId = 1;
  std::size_t clients = 0;
  bool closed = false;
};

}  // namespace Halden::devhost
