// Calls through the API table of a plugin in the in-process host.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>

#include "host/in_process_host.h"
#include "tests/api/dispatch_fixture.h"
#include "tests/support/allocation_probe.h"
#include "tests/support/sample_plugin.h"
#include "tests/support/small_stack.h"

namespace Halden {
namespace {

using host::CallRequest;
using host::CallResponse;

TEST_F(Dispatch, AnswersWithValueStatusKindContentTypeAndHeaders) {
  CallResponse summary = host.Call(kMethodGet, "/v1/summary");
  EXPECT_EQ(summary.json,
            R"({"active":true,"color":"Blue","count":42,"name":"sample","ratio":0.5})")
      << summary.errorText;
  EXPECT_EQ(summary.status, 0u);

  CallResponse custom = host.Call(kMethodGet, "/v1/custom");
  EXPECT_EQ(custom.json, "\"created\"");
  EXPECT_EQ(custom.status, 201u);
  EXPECT_EQ(custom.kind, 3u);
  EXPECT_EQ(custom.contentType, "text/plain");
  EXPECT_EQ(custom.headers, (host::HeaderList{{"X-One", "1"}, {"X-Two", "2"}}));
  // Released by the host, the answer leaves nothing of its own behind.
  const std::size_t live = testing::AllocationLiveBytes();
  host.Call(kMethodGet, "/v1/custom");
  EXPECT_EQ(testing::AllocationLiveBytes(), live);

  CallResponse stream = host.Call(kMethodGet, "/v1/stream?size=10000");
  EXPECT_TRUE(stream.streamed);
  EXPECT_EQ(stream.streamedBody, std::string(10000, 'x'));
  // One that fails part way is no answer.
  stream = host.Call(kMethodGet, "/v1/stream?size=2000000");
  EXPECT_EQ(std::tie(stream.error, stream.errorText),
            std::tuple(true, "The answer's stream failed after 1048576 bytes"));
}

// A named method's route matches the call's method name, not its code.
TEST_F(Dispatch, MatchesANamedMethodByItsName) {
  CallRequest request;
  request.method = kMethodNamed;
  request.path = "/v1/cache";
  EXPECT_EQ(host.CallEntry(Entry("V1Cache"), request).errorText, "Invalid function");
  // Registered a second time with another name, it kept its first.
  request.methodName = "ERASE";
  EXPECT_EQ(host.CallEntry(Entry("V1Cache"), request).errorText, "Invalid function");
  request.methodName = "PURGE";
  const CallResponse purged = host.CallEntry(Entry("V1Cache"), request);
  EXPECT_EQ(std::pair(purged.error, purged.json), std::pair(false, std::string()));  // no summary
  // So do the host's routes; a method code it does not know takes none.
  EXPECT_TRUE(host.Call(request).found);
  request.method = kMethodDelete;
  EXPECT_FALSE(host.Call(request).found);
  request.method = 99;
  request.path = "/v1/items/7";
  EXPECT_FALSE(host.Call(request).found);
  // Nor does the dispatcher, at an entry of DELETE (code 1).
  EXPECT_EQ(host.CallEntry(Entry("DeleteV1ItemsById"), request).errorText, "Invalid function");
}

TEST_F(Dispatch, BindsEveryParameterTypeFromTheQuery) {
  // The description flags "i8", the first optional parameter, with 1.
  const ApiArgumentRecord* b = Entry("GetV1Scalars").function.arguments;
  ASSERT_NE(b, nullptr);
  const ApiArgumentRecord* i8 = b->next;  // packed records are read by value
  ASSERT_NE(i8, nullptr);
  EXPECT_EQ(uint32_t{b->optional}, 0u);
  EXPECT_EQ(uint32_t{i8->optional}, 1u);
  CallResponse response =
      host.Call(kMethodGet,
                "/v1/scalars?b&i8=-5&u8=0x10&i16=010&u16=65535&i32=1&i32=2&u32=4294967295"
                "&i64=-9223372036854775808&u64=18446744073709551615&f=1.5&d=-2.25&s=a+b%21&e=Green"
                "&v=[%22x%22,%22y%22]&obj={%22k%22:[1]}&st.name=n&st.count=3");
  EXPECT_EQ(response.json,
            R"({"b":true,"d":-2.25,"e":"Green","f":1.5,"i16":8,"i32":2,"i64":-9223372036854775808,)"
            R"("i8":-5,"obj":{"k":[1]},"opt":0,"s":"a b!","st":{"count":3,"name":"n"},)"
            R"("u16":65535,"u32":4294967295,"u64":18446744073709551615,"u8":16,"v":["x","y"]})")
      << response.errorText;
  // An absent required flag is false; an empty vector and object come from
  // keys without values, a record from JSON; indexes grow a collection, a
  // segment that does not start with a digit names a member, whose value is
  // text, not guessed.
  response = host.Call(kMethodGet,
                       "/v1/scalars?v&obj&st={%22count%22:5}&v.2=z&v.0x1=y&obj.-1=1&obj.k=[2]");
  EXPECT_NE(response.json.find(R"("b":false)"), std::string::npos);
  EXPECT_NE(response.json.find(R"("v":["","y","z"])"), std::string::npos);
  EXPECT_NE(response.json.find(R"("obj":{"-1":"1","k":"[2]"})"), std::string::npos);
  EXPECT_NE(response.json.find(R"("st":{"count":5,)"), std::string::npos);
  // Alone, the key of an object gives an empty one, not null.
  response = host.Call(kMethodGet, "/v1/scalars?obj");
  EXPECT_NE(response.json.find(R"("obj":{},)"), std::string::npos) << response.json;
}

// A failure of the binding or of the handler stops the call with its message.
TEST_F(Dispatch, EachFailureStopsTheCallWithItsMessage) {
  struct Case {
    uint32_t method;
    const char* path;
    const char* text;
    uint32_t status = 0;
    const char* contentType = "";
    const char* body = "";
  } cases[] = {
      {kMethodGet, "/v1/fail/busy", "conflict: busy", 409},
      {kMethodGet, "/v1/fail/throw", "handler failed", 500},
      {kMethodGet, "/v1/fail/memory", "std::bad_alloc", 500},
      {kMethodGet, "/v1/fail/length", "vector<T> too long", 500},
      {kMethodGet, "/v1/fail/other", "Unknown error", 500},
      // The first failure stops the binding: the later ones say nothing.
      {kMethodGet, "/v1/scalars?aaa=1&obj={", "Unknown argument 'aaa' for 'GetV1Scalars'."},
      {kMethodPost, "/v1/echo?aaa=1", "Unknown argument 'aaa' for 'PostV1Echo'.", 0,
       "application/json", "{"},
      {kMethodDelete, "/v1/items/3?secret=x",
       "Argument 'secret' for 'DeleteV1ItemsById' was specified in an invalid location."},
      {kMethodPut, "/v1/items/3?id=4",
       "Argument 'id' for 'PutV1ItemsById' was specified in an invalid location."},
      // A misplaced value is not read: "{" would not parse.
      {kMethodPut, "/v1/summary?summary={",
       "Argument 'summary' for 'PutV1Summary' was specified in an invalid location."},
      {kMethodGet, "/v1/scalars?i32", "Expected value for argument 'i32'."},
      {kMethodGet, "/v1/scalars?v.1a.99999999999999999999=x", "Index 1a is in an incorrect format"},
      // A NUL inside an index: the message names the index up to it.
      {kMethodGet, "/v1/scalars?v.1%00x=y", "Index 1 is in an incorrect format"},
      {kMethodGet, "/v1/scalars?v=[1]&v.65536=x", "Index 65536 is out of range"},
      // The elements a call's paths add count together, each element once.
      {kMethodGet, "/v1/scalars?obj.65535.0=x", "Index 0 is out of range"},
      {kMethodGet, "/v1/scalars?v.0=x&v.65535=y&v.65535.0=z", "Index 0 is out of range"},
      {kMethodGet, "/v1/scalars?v.99999999999999999999=x",
       "Index 99999999999999999999 is out of range"},
      {kMethodGet, "/v1/scalars?obj={",
       "Couldn't deserialize JSON value for parameter 'obj' of 'GetV1Scalars': Error: Missing a "
       "name for object member. at offset 1."},
      {kMethodPost, "/v1/echo", "Unsupported body content type", 0, "text/plain", "x"},
      {kMethodPost, "/v1/echo", "Extra MessgePack data found in body", 0, "application/x-msgpack",
       "\x01\x02"},
      {kMethodPut, "/v1/items/3", "A value for 'item' is required."},
      {kMethodPut, "/v1/items/3", "A value for 'item' is required.", 0, "application/json",
       " null "},
      {kMethodPut, "/v1/items/3", "Value x for 'count' of type uint32 is in an incorrect format", 0,
       "application/json", R"({"count":"x"})"},
      {kMethodPost, "/v1/echo", "Error: Invalid value. at offset 3.", 0, "application/json", "[1,"},
  };
  for (const Case& c : cases) {
    CallResponse response = host.Call(c.method, c.path, c.contentType, c.body);
    EXPECT_TRUE(response.error) << c.path;
    EXPECT_EQ(response.errorText, c.text) << c.path;
    EXPECT_EQ(response.status, c.status) << c.path;
  }
  // No handler that counts its calls was reached.
  EXPECT_EQ(plugin->calls, 0);
}

// Each segment of an argument path is a level of the parameter's value: a
// long dotted key must be refused, and everything it built released, on a
// host thread's small stack.
TEST_F(Dispatch, ArgumentPathsNestNoDeeperThanBodies) {
  auto path = [](std::size_t levels) {
    std::string key = "/v1/scalars?obj";
    for (std::size_t i = 0; i < levels; ++i) key += ".a";
    return key + "=1";
  };
  const std::string refused = "Argument 'obj' for 'GetV1Scalars' nests deeper than 512 levels.";
  CallResponse deep, deepest, justTooDeep, tooDeep;
  ASSERT_TRUE(testing::RunOnSmallStack(
      [&] {
        deep = host.Call(kMethodGet, path(100));
        deepest = host.Call(kMethodGet, path(512));
        justTooDeep = host.Call(kMethodGet, path(513));
        // A key of 1 MiB.
        tooDeep = host.Call(kMethodGet, path(std::size_t{1} << 19));
      },
      std::size_t{256} << 10));
  EXPECT_FALSE(deep.error) << deep.errorText;
  EXPECT_NE(deep.json.find(R"("obj":{"a":{"a":{)"), std::string::npos);
  // Bound, but too deep to answer inside the response's record.
  EXPECT_EQ(deepest.errorText, "Response body nests too deeply to be sent");
  EXPECT_EQ(deepest.status, 400u);
  EXPECT_EQ(justTooDeep.errorText, refused);
  EXPECT_EQ(tooDeep.errorText, refused);
}

TEST_F(Dispatch, BindsPathHeaderQueryAndBodyInEveryFormat) {
  CallRequest request;
  request.method = kMethodPut;
  request.path = "/v1/items/12?verbose";
  // A header named after a parameter located elsewhere is not an argument.
  request.headers = {{"trace", "t-1"}, {"Trace", "ignored"}, {"verbose", "false"}};
  request.contentType = "Application/JSON; charset=utf-8";
  request.body = R"({"name":"n","count":2,"parts":[{"name":"p"}],"tags":["a"],"x":1})";
  request.hasBody = true;
  CallResponse response = host.Call(request);
  EXPECT_EQ(plugin->lastId, 12u) << response.errorText;
  EXPECT_TRUE(plugin->lastVerbose);
  EXPECT_EQ(plugin->lastTrace, "t-1");
  EXPECT_EQ(plugin->lastItem.parts.at(0).name, "p");

  struct Case {
    const char* contentType;
    std::string body;
    const char* json;
  } bodies[] = {
      {"application/vnd.api+json", R"({"a":[1,-2]})", R"({"a":[1,-2]})"},
      {"application/json", std::string("{\"a\":1}\0{", 9), R"({"a":1})"},
      // Repeated names merge as the property reader merges them.
      {"application/json", R"({"a":{"x":1},"a":{"y":2}})", R"({"a":{"x":1,"y":2}})"},
      {"application/x-yaml", "a: [1, yes, ~]\n", R"({"a":[1,true,null]})"},
      {"application/x-msgpack-ext", "\x81\xa1\x61\x93\x01\xc3\xc0", R"({"a":[1,true,null]})"},
      // Bytes that would also read as JSON are read in their own format: 0x31 is 49.
      {"application/x-msgpack", "1", "49"},
  };
  for (const Case& c : bodies) {
    response = host.Call(kMethodPost, "/v1/echo", c.contentType, c.body);
    EXPECT_EQ(response.json, c.json) << c.contentType << ": " << response.errorText;
  }
  // Without a body parameter the body is not looked at; empty query pieces
  // name nothing.
  EXPECT_FALSE(host.Call(kMethodGet, "/v1/summary", "text/plain", "x").error);
  EXPECT_NE(host.Call(kMethodGet, "/v1/scalars?&i32=3&&").json.find(R"("i32":3)"),
            std::string::npos);
  // The first argument, located anywhere, is found among the headers.
  CallRequest first;
  first.path = "/v1/scalars";
  first.method = kMethodGet;
  first.headers = {{"b", "true"}};
  EXPECT_NE(host.Call(first).json.find(R"("b":true)"), std::string::npos);
  // A captured segment is percent-decoded; a rest capture takes slashes.
  EXPECT_EQ(host.Call(kMethodGet, "/v1/files/a%2Fb/c+d").json, "\"a/b/c d\"");
}

TEST_F(Dispatch, ExplicitArgumentsByNameAndPosition) {
  HostValue seven{.kind = kHostSigned, .signedValue = 7};
  HostValue text{.kind = kHostStringBorrowed, .text = {"word", 4}};
  CallRequest request;
  request.path = "/v1/scalars";
  request.arguments = {{"i32", seven}, {nullptr, seven}, {nullptr, seven}, {nullptr, text}};
  // Positions count from the first parameter: b, i8, u8, then i16 fails on
  // the word, named after its parameter.
  CallResponse response = host.Call(request);
  EXPECT_EQ(response.errorText, "Value word for 'i16' of type int16 is in an incorrect format");
  // The first parameter is found by its name too.
  request.arguments = {{"b", text}};
  EXPECT_EQ(host.Call(request).errorText,
            "Value word for 'b' of type bool is in an incorrect format. Options are \"true\", "
            "\"false\", \"1\", \"0\".");

  request.path = "/v1/items/4";
  request.method = kMethodDelete;
  // After the one path capture, the first positional argument is the second
  // parameter; a second one lies beyond the parameters.
  request.arguments = {{nullptr, text}, {nullptr, text}};
  EXPECT_EQ(host.Call(request).errorText, "Unknown argument '2' for 'DeleteV1ItemsById'.");
  HostValue bad{};
  bad.kind = 11;
  request.arguments = {{nullptr, bad}};
  EXPECT_EQ(host.Call(request).errorText,
            "Couldn't assign value to 'secret' of type object because the input is of an "
            "incompatible type ''.");
}

TEST_F(Dispatch, ReadsAHostBodyWithinItsLength) {
  // The body has no NUL after it: reading on would leave the allocation.
  const std::string json = R"({"a":1})";
  auto body = std::make_unique<uint8_t[]>(json.size());
  std::memcpy(body.get(), json.data(), json.size());
  ApiCallRecord call{};
  call.method = kMethodPost;
  call.path = "/v1/echo";
  call.callContext = Entry("PostV1Echo").function.callContext;
  call.contentType = "application/json";
  call.body = body.get();
  call.bodyLength = static_cast<uint32_t>(json.size());
  call.headerCount = 1;  // without headers: none
  // The host's record may hold anything before the call.
  JsonApiResponse response;
  std::memset(static_cast<void*>(&response), 0xAB, sizeof response);
  Entry("PostV1Echo").callback(&response, &call);
  EXPECT_STREQ(response.errorText, nullptr);
  EXPECT_EQ(static_cast<const HostHeaderPair*>(response.headers), nullptr);  // packed: by value
  EXPECT_EQ(response.body.kind, kHostStructure);
  call.contentType = "application/x-yaml";
  response.release(&response);
  Entry("PostV1Echo").callback(&response, &call);
  EXPECT_EQ(response.body.kind, kHostStructure);
  // A length without a body is no body.
  call.body = nullptr;
  response.release(&response);
  Entry("PostV1Echo").callback(&response, &call);
  EXPECT_STREQ(response.errorText, nullptr);
  EXPECT_EQ(response.body.kind, kHostNone);
  // Releasing twice frees once.
  response.release(&response);
  response.release(&response);
  EXPECT_EQ(response.body.kind, kHostNone);
  EXPECT_STREQ(response.contentType, nullptr);
  EXPECT_EQ(uint32_t{response.headerCount}, 0u);  // a host may walk the headers it counts
}

TEST_F(Dispatch, AStreamIsReadThroughTheRecordUntilReleased) {
  ApiCallRecord call{};
  call.method = kMethodGet;
  call.path = "/v1/stream?size=10";
  call.callContext = Entry("GetV1Stream").function.callContext;
  JsonApiResponse response{};
  Entry("GetV1Stream").callback(&response, &call);
  EXPECT_EQ(uint32_t{response.expectedLength}, 10u);
  char buffer[16];
  uint32_t length = sizeof buffer;
  bool more = true;
  const StreamReadFunction read = response.streamRead;
  EXPECT_FALSE(read(response.streamHandle, nullptr, &length, &more));
  EXPECT_TRUE(read(response.streamHandle, buffer, &length, &more));
  EXPECT_EQ(std::string(buffer, length), std::string(10, 'x'));
  EXPECT_FALSE(more);
  response.release(&response);
  EXPECT_EQ(uint32_t{response.expectedLength}, 0u);
  EXPECT_EQ(static_cast<void*>(response.streamHandle), nullptr);
}

}  // namespace
}  // namespace Halden
