#include "host/devhost/event_stream.h"

#include <chrono>
#include <memory>

#include "host/devhost/json_reply.h"

namespace Halden::devhost {
namespace {

constexpr std::size_t kKept = 256;
constexpr auto kKeepAlive = std::chrono::seconds(10);

}  // namespace

std::string FormatServerSentEvent(uint64_t id, const std::string& name, const std::string& data) {
  return "id: " + std::to_string(id) + "\nevent: " + name + "\ndata: " + data + "\n\n";
}

void EventStream::Publish(const std::string& name, const std::string& data) {
  {
    std::lock_guard guard(lock);
    recent.push_back({nextId, FormatServerSentEvent(nextId, name, data)});
    ++nextId;
    if (recent.size() > kKept) recent.pop_front();
  }
  changed.notify_all();
}

std::string EventStream::Next(uint64_t& cursor) {
  std::unique_lock guard(lock);
  changed.wait_for(guard, kKeepAlive, [&] { return closed || nextId > cursor; });
  std::string text;
  for (const Entry& entry : recent) {
    if (entry.id >= cursor) text += entry.text;
  }
  cursor = nextId;
  return text.empty() ? ": keep-alive\n\n" : text;
}

void EventStream::Serve(httplib::Response& response) {
  uint64_t first;
  {
    std::lock_guard guard(lock);
    if (closed || clients == maxClients) {
      ReplyMessage(response, 503, "Too many event streams are open");
      return;
    }
    ++clients;
    first = nextId;
  }
  auto cursor = std::make_shared<uint64_t>(0);
  response.set_header("Cache-Control", "no-store");
  response.set_chunked_content_provider(
      "text/event-stream",
      [this, cursor, first](std::size_t, httplib::DataSink& sink) {
        if (*cursor == 0) {
          *cursor = first;
          return sink.write(opening.data(), opening.size());
        }
        const std::string text = Next(*cursor);
        {
          std::lock_guard guard(lock);
          if (closed) {
            sink.done();
            return true;
          }
        }
        // False when the client has gone: the server then drops the
        // connection.
        return sink.write(text.data(), text.size());
      },
      [this](bool) {
        std::lock_guard guard(lock);
        --clients;
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
