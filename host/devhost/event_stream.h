// A stream of server-sent events, as the host serves the events the plugin
// sends (GET /events) and its log lines (GET /_host/log): each client
// receives every event published after it connected, as
//   id: <sequence number>
//   event: <event name>
//   data: <payload as compact JSON>
// followed by an empty line. A comment line, ": <what the stream carries>",
// opens the stream; another keeps an idle one alive. A client that has
// gone is noticed within a second, and its stream ended.
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace Halden::devhost {

// One event in the wire form above; a line break in the name is written
// %0D or %0A.
std::string FormatServerSentEvent(uint64_t id, const std::string& name, const std::string& data);

class EventStream {
 public:
  // At most `maxStreams` streams at once, since each holds one of the
  // server's workers while it runs, and at most `perClient` of them for one
  // client, so that one cannot take them all. A client is a peer address
  // and User-Agent: every program on this machine comes from 127.0.0.1,
  // and a browser's pages share its User-Agent. `carries` names what the
  // stream carries ("events of the plugin").
  EventStream(std::size_t maxStreams, std::size_t perClient, std::string carries)
      : maxStreams(maxStreams), perClient(perClient), carries(std::move(carries)) {}

  // Hands the event `name` with `data` (one line of JSON; what is not UTF-8
  // in it is replaced) to every stream; a stream that falls more than the
  // last 256 events behind skips the older ones.
  void Publish(const std::string& name, const std::string& data);
  // Keeps the next place in the streams for an event published later with
  // Fill: the streams send nothing after it until then. An event the host
  // delivers to the plugin is shown before those the plugin sends in
  // answer, but only once delivered.
  uint64_t Reserve();
  void Fill(uint64_t id, const std::string& name, const std::string& data);
  // Answers `request` with the stream; with 429 when its client holds
  // perClient streams already, with 503 when there are maxStreams; either
  // refusal states the bound.
  void Serve(const httplib::Request& request, httplib::Response& response);
  // Ends every stream, so that the server can stop.
  void Close();

 private:
  struct Entry {
    uint64_t id;
    std::string text;
    bool ready;
  };
  // The first entry not ready, or nextId; the caller holds the lock.
  uint64_t ReadyUpTo() const;
  // The stream text after `cursor`, waiting a second for some; empty when
  // none came. Advances the cursor.
  std::string Next(uint64_t& cursor);

  const std::size_t maxStreams;
  const std::size_t perClient;
  const std::string carries;
  std::mutex lock;
  std::condition_variable changed;
  std::deque<Entry> recent;
  uint64_t nextId = 1;
  std::size_t streams = 0;
  std::map<std::string, std::size_t> clients;
  bool closed = false;
};

}  // namespace Halden::devhost
