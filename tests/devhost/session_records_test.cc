#include "host/devhost/session_records.h"

#include <gtest/gtest.h>

#include <string>

#include "formats/json_to_property.h"
#include "formats/property_to_json.h"

namespace Halden::devhost {
namespace {

// A record written to its line and read back, as a replay reads it.
BindingProperty Reread(const BindingProperty& record) {
  return JsonToProperty(PropertyToJson(record, nullptr, nullptr).c_str());
}

TEST(SessionRecords, WhatTheHostPlaysReadsBackAsRecorded) {
  struct Case {
    host::CallRequest call;
  } cases[] = {
      {{2, "", "/qor/v1/email?x=1", {{"host", "127.0.0.1:1"}}, "", "", false, {}, 0}},
      {{7, "", "/qor/v1/email", {}, "application/json", R"({"email":"a@b"})", true, {}, 0}},
      // MessagePack is not UTF-8: it goes as hexadecimal.
      {{7,
        "",
        "/e",
        {},
        "application/x-msgpack",
        std::string("\x81\xa1\x61\x00\xff", 5),
        true,
        {},
        0}},
      {{8, "PURGE", "/e", {}, "", "", false, {}, 0}},
  };
  for (const Case& c : cases) {
    const host::CallRequest read = CallFromRecord(Reread(CallRecord(c.call)));
    EXPECT_EQ(read.method, c.call.method) << c.call.path;
    EXPECT_EQ(read.methodName, c.call.methodName) << c.call.path;
    EXPECT_EQ(read.path, c.call.path);
    EXPECT_EQ(read.headers, c.call.headers) << c.call.path;
    EXPECT_EQ(read.contentType, c.call.contentType) << c.call.path;
    EXPECT_EQ(read.body, c.call.body) << c.call.path;
    EXPECT_EQ(read.hasBody, c.call.hasBody) << c.call.path;
  }
}

TEST(SessionRecords, TheHostsAnswersReadBackAsGiven) {
  host::ResourceAnswer body;
  body.body = JsonToProperty(R"({"region":"EU","n":[1,2.5,-3]})");
  host::ResourceAnswer failure;
  failure.fails = true;
  failure.status = 404;
  failure.error = "Resource not found";
  host::ResourceAnswer streamed;
  streamed.stream = true;
  streamed.streamed = "chunked text";
  for (const host::ResourceAnswer& answer : {body, failure, streamed}) {
    const host::ResourceAnswer read =
        ReadAnswerFromRecord(Reread(ReadRecord({2, "/r", "{}", 0}, answer)));
    EXPECT_EQ(read.fails, answer.fails);
    EXPECT_EQ(read.status, answer.status);
    EXPECT_EQ(read.error, answer.error);
    EXPECT_EQ(read.stream, answer.stream);
    EXPECT_EQ(read.streamed, answer.streamed);
    EXPECT_EQ(PropertyToJson(read.body, nullptr, nullptr),
              PropertyToJson(answer.body, nullptr, nullptr));
  }

  const host::ExternalCall call{2, "http://s/v1", {{"Authorization", "Bearer t"}}, "", true, 30, 1};
  for (const host::ExternalAnswer& answer :
       {host::ExternalAnswer{0, 200, {{"Content-Type", "application/json"}}, "{}"},
        host::ExternalAnswer{-1, 0, {}, "Not initialized"},
        host::ExternalAnswer{4, 0, {}, "Failed to read connection"}}) {
    const host::ExternalAnswer read =
        ExternalAnswerFromRecord(Reread(ExternalRecord(call, answer)));
    EXPECT_EQ(read.transport, answer.transport);
    EXPECT_EQ(read.status, answer.status);
    EXPECT_EQ(read.headers, answer.headers);
    EXPECT_EQ(read.body, answer.body);
  }
}

}  // namespace
}  // namespace Halden::devhost
