#include "host/devhost/mock_faults.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "formats/json_to_property.h"
#include "formats/property_to_json.h"

namespace Halden::devhost {
namespace {

// Each document applied to the faults in force: those after, or its refusal (null after).
TEST(MockFaults, AppliedOrRefusedWhole) {
  const std::string before = R"({"GET /v1/account/status":{"delay":100}})";
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {R"({"PUT /v1/account/email":{"answer":"status","status":503,"body":"Down"}})",
       R"({"GET /v1/account/status":{"delay":100},)"
       R"("PUT /v1/account/email":{"answer":"status","body":"Down","status":503}})",
       ""},
      {R"({"GET /v1/account/status":{"answer":"status","status":100}})",
       R"({"GET /v1/account/status":{"answer":"status","body":"","status":100}})", ""},
      {R"({"GET /v1/account/status":null})", "{}", ""},
      {R"({"GET /v1/account/status":{}})", "{}", ""},
      {R"({"POST /v1/account/email/verification":{"answer":"close"},)"
       R"("PUT /v1/account/email":{"answer":"refuse-token"}})",
       R"({"GET /v1/account/status":{"delay":100},)"
       R"("POST /v1/account/email/verification":{"answer":"close"},)"
       R"("PUT /v1/account/email":{"answer":"refuse-token"}})",
       ""},
      {"[]", nullptr, "Expected an object of faults by endpoint"},
      {R"({"PUT /v1/account/email":{"answer":"close"},"GET /mailbox":{}})", nullptr,
       "No endpoint 'GET /mailbox' takes faults"},
      {R"({"PUT /v1/account/email":"close"})", nullptr,
       "The fault of PUT /v1/account/email is not an object"},
      {R"({"PUT /v1/account/email":{"answr":"close"}})", nullptr,
       "The fault of PUT /v1/account/email has an unknown member 'answr'"},
      {R"({"PUT /v1/account/email":{"delay":600001}})", nullptr,
       "The fault of PUT /v1/account/email has a delay that is not a number of milliseconds"},
      {R"({"PUT /v1/account/email":{"delay":"5"}})", nullptr,
       "The fault of PUT /v1/account/email has a delay that is not a number"},
      {R"({"PUT /v1/account/email":{"answer":"status","status":600}})", nullptr,
       "The fault of PUT /v1/account/email answers a status without one from 100 to 599"},
      {R"({"PUT /v1/account/email":{"answer":"status","status":99}})", nullptr,
       "The fault of PUT /v1/account/email answers a status without one from 100 to 599"},
      {R"({"PUT /v1/account/email":{"answer":"status","status":500,"body":5}})", nullptr,
       "The fault of PUT /v1/account/email has a body that is not a text"},
      {R"({"PUT /v1/account/email":{"answer":"close","status":500}})", nullptr,
       "The fault of PUT /v1/account/email has a status or body but does not answer"},
  };
  for (const auto& [document, after, refusal] : cases) {
    std::map<std::string, MockFault> faults;
    std::string error;
    ASSERT_TRUE(ApplyMockFaults(JsonToProperty(before.c_str()), faults, error)) << error;
    const bool applied = ApplyMockFaults(JsonToProperty(document), faults, error);
    EXPECT_EQ(applied, after != nullptr) << document;
    EXPECT_EQ(PropertyToJson(MockFaultsJson(faults), nullptr, nullptr),
              after != nullptr ? after : before)
        << document;
    EXPECT_TRUE(applied || error.starts_with(refusal)) << error;
  }
}

}  // namespace
}  // namespace Halden::devhost
