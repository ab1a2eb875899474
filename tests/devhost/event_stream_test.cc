#include "host/devhost/event_stream.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <list>
#include <string>

namespace Halden::devhost {
namespace {

// A client is a peer address and User-Agent: each holds four streams, all
// of them eight, and a stream that ends gives its place back.
TEST(EventStream, BoundsTheStreamsOfEachClientAndOfAll) {
  EventStream stream(8, 4, "things");
  std::list<httplib::Response> open;
  const auto opened = [&](const std::string& agent) {
    httplib::Request request;
    request.remote_addr = "127.0.0.1";
    request.headers.emplace("User-Agent", agent);
    stream.Serve(request, open.emplace_back());
    // A stream is answered by the server as it runs; a refusal at once.
    return open.back().status == -1 ? "" : open.back().body;
  };
  for (int i = 0; i < 4; ++i) EXPECT_EQ(opened("a"), "");
  EXPECT_EQ(opened("a"),
            "{\"message\":\"Too many streams: this client holds 4 streams of the things, the most "
            "one client may hold (8 in all)\",\"status\":429}");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(opened("b"), "");
  EXPECT_EQ(opened("c"),
            "{\"message\":\"Too many streams: 8 streams of the things are open, the most the host "
            "serves at once\",\"status\":503}");
  open.pop_front();
  EXPECT_EQ(opened("c"), "");
}

}  // namespace
}  // namespace Halden::devhost
