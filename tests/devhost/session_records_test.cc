#include "host/devhost/session_records.h"

#include <gtest/gtest.h>

#include <initializer_list>

#include "formats/json_to_property.h"
#include "tests/devhost/devhost_test_support.h"

namespace Halden::devhost {
namespace {

// A record written to its line and read back, as a replay reads it.
BindingProperty Reread(const BindingProperty& record) {
  return JsonToProperty(Json(record).c_str());
}

// Calls and answers read back from their records make the same records again.
TEST(SessionRecords, ReadBackAsRecorded) {
  for (const host::CallRequest& call : std::initializer_list<host::CallRequest>{
           {2, "", "/qor/v1/email?x=1", {{"host", "127.0.0.1:1"}}, "", "", false, {}, 0},
           {7, "", "/qor/v1/email", {}, "application/json", R"({"email":"a@b"})", true, {}, 0},
           // Not UTF-8 (MessagePack), or with a NUL: both go as hexadecimal.
           {7, "", "/e", {}, "application/x-msgpack", {"\x81\xa1\x61\x00\xff", 5}, true, {}, 0},
           {7, "", "/e", {}, "application/x-msgpack", {"\0", 1}, true, {}, 0},
           {8, "PURGE", "/e", {}, "", "", false, {}, 0},
       }) {
    const BindingProperty record = CallRecord(call);
    EXPECT_EQ(Json(CallRecord(CallFromRecord(Reread(record)))), Json(record));
    EXPECT_EQ(CallFromRecord(Reread(record)).headers, call.headers);
    EXPECT_EQ(CallFromRecord(Reread(record)).body, call.body);
  }
  host::ResourceAnswer body, failure, streamed;
  body.body = JsonToProperty(R"({"region":"EU","n":[1,2.5,-3]})");
  failure.fails = true;
  failure.status = 404;
  failure.error = "Resource not found";
  streamed.stream = true;
  streamed.streamed = "chunked text";
  for (const host::ResourceAnswer& answer : {body, failure, streamed}) {
    const BindingProperty record = ReadRecord({2, "/r", "{}", 0}, answer);
    EXPECT_EQ(Json(ReadRecord({2, "/r", "{}", 0}, ReadAnswerFromRecord(Reread(record)))),
              Json(record));
  }
  // A streamed answer to a call keeps its bytes.
  host::CallResponse response;
  response.streamed = true;
  response.streamedBody = "chunks";
  EXPECT_EQ(ResponseRecord(response).Find("body").ToText(), "chunks");
  // A text the host could not make JSON of is kept as the text.
  EXPECT_EQ(Json(ReadRecord({2, "/r", "<error>", 0}, failure).Find("parameters")), R"("<error>")");
  const host::ExternalCall call{2, "http://s/v1", {{"Authorization", "Bearer t"}}, "", true, 30, 1};
  for (const host::ExternalAnswer& answer :
       {host::ExternalAnswer{0, 200, {{"Content-Type", "application/json"}}, "{}"},
        host::ExternalAnswer{-1, 0, {}, "Not initialized"},
        host::ExternalAnswer{4, 0, {}, "Failed to read connection"}}) {
    const BindingProperty record = ExternalRecord(call, answer);
    const host::ExternalAnswer replayed = ExternalAnswerFromRecord(Reread(record));
    EXPECT_EQ(Json(ExternalRecord(call, replayed)), Json(record));
    // A record without the failure or the headers would make the same again.
    EXPECT_EQ(replayed.transport, answer.transport);
    EXPECT_EQ(replayed.headers, answer.headers);
  }
}

}  // namespace
}  // namespace Halden::devhost
