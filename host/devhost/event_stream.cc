#include "host/devhost/event_stream.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "host/devhost/json_reply.h"
#include "host/devhost/read_ahead_server.h"
#include "host/devhost/valid_utf8.h"

namespace Halden::devhost {
namespace {

constexpr std::size_t kKept = 256;
// How often a quiet stream checks that its client is still there.
constexpr auto kPoll = std::chrono::seconds(1);
constexpr auto kKeepAlive = std::chrono::seconds(10);

}  // namespace

std::string FormatServerSentEvent(uint64_t id, const std::string& name, const std::string& data) {
  // A line break would end the name's line and start a line of the
  // client's choosing: a plugin's event names hold resource paths, which
  // may be decoded from a caller's.
  std::string line;
  for (const char c : name) line += c == '\n' ? "%0A" : c == '\r' ? "%0D" : std::string(1, c);
  return "id: " + std::to_string(id) + "\nevent: " + line + "\ndata: " + data + "\n\n";
}

void EventStream::Publish(const std::string& name, const std::string& data) {
  Fill(Reserve(), name, data);
}

uint64_t EventStream::Reserve() {
  std::lock_guard guard(lock);
  recent.push_back({nextId, "", false});
  if (recent.size() > kKept) recent.pop_front();
  return nextId++;
}

void EventStream::Fill(uint64_t id, const std::string& name, const std::string& data) {
  const std::string text = FormatServerSentEvent(id, name, ValidUtf8(data));
  {
    std::lock_guard guard(lock);
    for (Entry& entry : recent) {
      if (entry.id == id) entry = {id, text, true};
    }
  }
  changed.notify_all();
}

uint64_t EventStream::ReadyUpTo() const {
  for (const Entry& entry : recent) {
    if (!entry.ready) return entry.id;
  }
  return nextId;
}

std::string EventStream::Next(uint64_t& cursor) {
  std::unique_lock guard(lock);
  changed.wait_for(guard, kPoll, [&] { return closed || ReadyUpTo() > cursor; });
  const uint64_t end = ReadyUpTo();
  std::string text;
  for (const Entry& entry : recent) {
    if (entry.id >= cursor && entry.id < end) text += entry.text;
  }
  cursor = std::max(cursor, end);
  return text;
}

void EventStream::Serve(const httplib::Request& request, httplib::Response& response) {
  const std::string client = request.remote_addr + " " + request.get_header_value("User-Agent");
  // Where the stream is: the next event it sends, when it last wrote.
  struct Progress {
    uint64_t cursor;
    std::chrono::steady_clock::time_point written;
    bool opened = false;
  };
  auto progress = std::make_shared<Progress>();
  {
    std::lock_guard guard(lock);
    if (closed || streams == maxStreams) {
      ReplyMessage(response, 503,
                   "Too many streams: " + std::to_string(maxStreams) + " streams of the " +
                       carries + " are open, the most the host serves at once");
      return;
    }
    std::size_t& held = clients[client];
    if (held == perClient) {
      ReplyMessage(response, 429,
                   "Too many streams: this client holds " + std::to_string(held) +
                       " streams of the " + carries + ", the most one client may hold (" +
                       std::to_string(maxStreams) + " in all)");
      return;
    }
    ++held;
    ++streams;
    progress->cursor = nextId;
  }
  response.set_header("Cache-Control", "no-store");
  response.set_chunked_content_provider(
      "text/event-stream",
      [this, progress](std::size_t, httplib::DataSink& sink) {
        // A client that has closed its side will not read on: the server
        // then drops the connection and the stream's place.
        if (ReadAheadServer::ClientLeft()) return false;
        const auto now = std::chrono::steady_clock::now();
        std::string text;
        if (!progress->opened) {
          progress->opened = true;
          text = ": " + carries + "\n\n";
        } else {
          text = Next(progress->cursor);
          std::lock_guard guard(lock);
          if (closed) {
            sink.done();
            return true;
          }
        }
        if (text.empty() && now - progress->written < kKeepAlive) return sink.is_writable();
        if (text.empty()) text = ": keep-alive\n\n";
        progress->written = now;
        // False when the client has gone: the server then drops the
        // connection.
        return sink.write(text.data(), text.size());
      },
      [this, client](bool) {
        std::lock_guard guard(lock);
        --streams;
        if (--clients[client] == 0) clients.erase(client);
      });
}

void EventStream::Close() {
  {
    std::lock_guard guard(lock);
    closed = true;
  }
  changed.notify_all();
}

}  // namespace Halden::devhost
