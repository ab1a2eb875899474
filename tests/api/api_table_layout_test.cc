// The API table as the host sees it: read from raw bytes at the offsets of
// the boundary layout (pointers 4 bytes wide in the 32-bit build).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "api/api_dispatcher.h"
#include "api/method.h"
#include "api/typed_endpoint.h"
#include "binding/registration.h"
#include "tests/api/dispatch_fixture.h"

namespace Halden {
namespace {

constexpr std::size_t P = sizeof(void*);  // 4 in the 32-bit build

template <typename T>
T At(const void* base, std::size_t offset) {
  T value;
  std::memcpy(&value, static_cast<const char*>(base) + offset, sizeof value);
  return value;
}
const char* TextAt(const void* base, std::size_t offset) { return At<const char*>(base, offset); }
const void* PointerAt(const void* base, std::size_t at) { return At<const void*>(base, at); }
std::vector<uint32_t> LocationsOf(const ApiEndpointEntry& entry) {
  std::vector<uint32_t> locations;
  for (const ApiLocationRecord* l = entry.locations; l != nullptr; l = l->next) {
    locations.push_back(uint32_t{l->location});
  }
  return locations;
}

TEST_F(Dispatch, TableEntriesLocationsAndTextListsAtTheirOffsets) {
  const void* table = host.Registration().apiTable;
  const void* entries = PointerAt(table, 0);
  const uint32_t count = At<uint32_t>(table, P);
  EXPECT_EQ(count, 12u);
  EXPECT_GT(At<uint32_t>(table, 2 * P + 4), 20u);   // types, the builtin ones included
  EXPECT_NE(PointerAt(table, 2 * P + 8), nullptr);  // events

  const std::size_t entrySize = 15 * P + 30;
  EXPECT_EQ(sizeof(ApiEndpointEntry), entrySize);
  const void* put = nullptr;
  const void* purge = nullptr;
  for (uint32_t i = 0; i < count; ++i) {
    const char* entry = static_cast<const char*>(entries) + i * entrySize;
    const std::string name = TextAt(entry, 2 * P + 4);
    if (name == "PutV1ItemsById") put = entry;
    if (name == "V1Cache") purge = entry;
    EXPECT_NE(At<uintptr_t>(entry, P + 4), 0u) << name;         // call context
    EXPECT_NE(PointerAt(entry, 10 * P + 21), nullptr) << name;  // callback
  }
  ASSERT_NE(put, nullptr);
  ASSERT_NE(purge, nullptr);
  EXPECT_EQ(At<uint32_t>(put, 5 * P + 4), 4u);  // argument count
  EXPECT_STREQ(TextAt(put, 12 * P + 21), "/v1/items/{id}");
  EXPECT_EQ(At<uint32_t>(put, 13 * P + 21), 7u);
  EXPECT_EQ(At<uint8_t>(put, 13 * P + 25), 1u);
  EXPECT_STREQ(TextAt(put, 14 * P + 30), "");
  EXPECT_EQ(At<uint32_t>(purge, 13 * P + 21), 8u);
  EXPECT_STREQ(TextAt(purge, 14 * P + 30), "PURGE");

  std::vector<uint32_t> locations;
  for (const void* record = PointerAt(put, 11 * P + 21); record != nullptr;
       record = PointerAt(record, 0)) {
    locations.push_back(At<uint32_t>(record, P));
  }
  EXPECT_EQ(locations, (std::vector<uint32_t>{2, 5, 1, 4}));

  EXPECT_EQ(At<uint32_t>(put, 14 * P + 26), 2u);
  std::vector<std::vector<std::string>> lists;
  for (const void* record = PointerAt(put, 13 * P + 26); record != nullptr;
       record = PointerAt(record, 0)) {
    const char* const* texts = At<const char* const*>(record, P);
    std::vector<std::string>& list = lists.emplace_back();
    for (uint32_t t = 0; t < At<uint32_t>(record, 2 * P); ++t) list.push_back(texts[t]);
  }
  EXPECT_EQ(lists, (std::vector<std::vector<std::string>>{{"a", "b"}, {"c"}}));
}

// A record filled through the builder alone, as a registration without
// TypedEndpoint would: a second registration of the function changes nothing.
TEST(ApiTableLayout, TheBuildersFirstRecordMakesTheEntry) {
  BindingRegistry registry;
  registry.Initialize();
  ApiDispatcher dispatcher(registry);
  const BindingFunctionDescriptor* function = registry.RegisterFunction("Fn", 4);
  EndpointBuilder first = dispatcher.RegisterEndpoint(function);
  EXPECT_FALSE(first.Existed());
  first.NamedMethod("PURGE").Method(kMethodPost).Template("/v1/x/").Body(2).Flag(3).TextList({"a"});
  first.Location(1, 6);              // no such location: 0 for the host
  first.Location(4, kLocationBody);  // a parameter yet to be added
  EndpointBuilder second = dispatcher.RegisterEndpoint(function);
  EXPECT_TRUE(second.Existed());
  second.NamedMethod("X").Template("/v1/y").Location(0, 1).Flag(4).TextList({"b"});
  second.Method(kMethodGet);
  const ApiTable& table = *dispatcher.BuildApiTable();
  ASSERT_EQ(uint32_t{table.entryCount}, 1u);
  const ApiEndpointEntry& entry = table.entries[0];
  EXPECT_EQ(uint32_t{entry.method}, kMethodPost);
  EXPECT_STREQ(entry.methodName, "");
  EXPECT_STREQ(entry.pathTemplate, "/v1/x");
  EXPECT_EQ(uint8_t{entry.flag}, 3u);
  EXPECT_EQ(uint32_t{entry.textListCount}, 1u);
  // One a parameter, 0 where none was given.
  EXPECT_EQ(LocationsOf(entry), (std::vector<uint32_t>{0, 0, kLocationBody, 0, kLocationBody}));
  // A function without a handler is answered as no function at all, and so
  // is a call without its record; one without a response is ignored.
  ApiCallRecord call{};
  call.method = kMethodPost;
  call.path = "/v1/x";
  call.callContext = entry.function.callContext;
  for (const ApiCallRecord* record : {&call, static_cast<ApiCallRecord*>(nullptr)}) {
    JsonApiResponse response{};
    entry.callback(&response, record);
    EXPECT_STREQ(response.errorText, "Invalid function");
    EXPECT_EQ(uint32_t{response.errorFlag}, 1u);
    EXPECT_EQ(uint32_t{response.status}, 404u);
    response.release(&response);
  }
  entry.callback(nullptr, nullptr);

  // A typed registration describes its function; a second one of the same
  // name has none to describe.
  struct Handler {
    ApiResponse Get() { return ApiResponse::Ok(); }
    ApiResponse Put(int32_t) { return ApiResponse::Ok(); }
  } handler;
  // An argument no name makes optional is required.
  EXPECT_EQ(TypedEndpoint(dispatcher, &handler, kMethodPut, "/v1/p", &Handler::Put)
                .Function()
                ->arguments[0]
                .optional,
            0);
  EndpointRegistration described =
      TypedEndpoint(dispatcher, &handler, kMethodGet, "/v1/d", &Handler::Get);
  described.Description("what").Help("how");
  EXPECT_EQ(described.Function()->description, "what");
  EXPECT_EQ(described.Function()->help, "how");
  TypedEndpoint(dispatcher, &handler, kMethodGet, "/v1/d", &Handler::Get)
      .Description("other")
      .Help("other");
  // A method code past the named one is 0 for the host.
  TypedEndpoint(dispatcher, &handler, kMethodNamed + 1, "/v1/odd", &Handler::Get);
  // Parameters given no location still have a record each.
  dispatcher.RegisterEndpoint(registry.RegisterFunction("Gn", 2)).Template("/v1/g");
  const ApiTable& odd = *dispatcher.BuildApiTable();
  EXPECT_EQ(uint32_t{Find(odd, "/v1/odd").method}, 0u);
  EXPECT_EQ(LocationsOf(Find(odd, "/v1/g")), (std::vector<uint32_t>{kLocationAny, kLocationAny}));

  // A table built again describes each enumeration's values, and each
  // function's arguments, once.
  enum class Tone : int32_t { Low = 0, High = 1 };
  RegisterEnum<Tone>(registry, "Tone").Value("Low", Tone::Low).Value("High", Tone::High);
  for (int build = 0; build < 2; ++build) {
    const ApiTable& again = *dispatcher.BuildApiTable();
    const ApiTypeRecord* tone = again.types;
    while (tone != again.types + again.typeCount && std::string(tone->name) != "Tone") ++tone;
    ASSERT_NE(tone, again.types + again.typeCount);
    EXPECT_EQ(uint32_t{tone->count}, 2u) << build;
    EXPECT_EQ(uint32_t{Find(again, "/v1/p").function.argumentCount}, 1u) << build;
    // No function is registered as safe on any thread; the reserved word is 0.
    EXPECT_EQ(uint32_t{again.entries[1].function.reserved}, 0u);
    EXPECT_EQ(uint32_t{again.entries[1].function.threadSafe}, 0u);
  }
}

}  // namespace
}  // namespace Halden
