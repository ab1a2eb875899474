#include "host/devhost/event_stream.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <list>
#include <string>

namespace Halden::devhost {
namespace {

// A client (address and User-Agent) holds 4 streams, all 8; an ended one frees its place.
TEST(EventStream, BoundsItsStreamsAndSendsInOrder) {
  EventStream stream(8, 4, "things");
  std::list<httplib::Response> open;
  const auto opened = [&](const std::string& agent) {
    httplib::Request request;
    request.headers.emplace("User-Agent", agent);
    stream.Serve(request, open.emplace_back());
    // A stream is answered by the server as it runs; a refusal at once.
    return open.back().status == -1 ? "" : open.back().body;
  };
  for (int i = 0; i < 4; ++i) EXPECT_EQ(opened("a"), "");
  EXPECT_NE(opened("a").find("this client holds 4 streams"), std::string::npos);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(opened("b"), "");
  EXPECT_EQ(opened("c"),
            "{\"message\":\"Too many streams: 8 streams of the things are open, the most the host "
            "serves at once\",\"status\":503}");
  open.pop_front();
  EXPECT_EQ(opened("c"), "");
  // Only its own client gets the place back.
  open.pop_back();
  EXPECT_EQ(opened("a"), "");
  open.erase(std::prev(open.end(), 3));  // one of "b"'s
  EXPECT_NE(opened("a").find("this client holds 4 streams"), std::string::npos);
  // Once every stream has ended, a client holds none: four again, no fifth.
  open.clear();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(opened("a"), "");
  EXPECT_NE(opened("a").find("this client holds 4 streams"), std::string::npos);
  open.clear();
  // Events go in order once those before are ready; past 256 behind, the oldest are skipped.
  httplib::Response response;
  stream.Serve(httplib::Request(), response);
  std::string sent;
  httplib::DataSink sink;
  sink.write = [&](const char* data, std::size_t size) { return !sent.append(data, size).empty(); };
  sink.is_writable = [] { return true; };
  // What the server would send on its next turn.
  const auto next = [&] {
    sent.clear();
    response.content_provider_(0, 0, sink);
    return sent;
  };
  EXPECT_EQ(next(), ": things\n\n");
  const uint64_t held = stream.Reserve();
  stream.Publish("b", "2");
  EXPECT_EQ(next(), "");
  stream.Fill(held, "a", "1");
  EXPECT_EQ(next(), FormatServerSentEvent(1, "a", "1") + FormatServerSentEvent(2, "b", "2"));
  // A name's line breaks cannot start lines of their own.
  EXPECT_EQ(FormatServerSentEvent(3, "a\r\nevent: b", "1"),
            "id: 3\nevent: a%0D%0Aevent: b\ndata: 1\n\n");
  std::string kept;
  for (int i = 3; i <= 302; ++i) {
    stream.Publish("c", std::to_string(i));
    if (i > 302 - 256) kept += FormatServerSentEvent(i, "c", std::to_string(i));
  }
  EXPECT_EQ(next(), kept);
}

}  // namespace
}  // namespace Halden::devhost
