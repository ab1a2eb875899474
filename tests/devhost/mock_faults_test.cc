#include "host/devhost/mock_faults.h"

#include <gtest/gtest.h>

#include <string>

#include "formats/json_to_property.h"
#include "formats/property_to_json.h"

namespace Halden::devhost {
namespace {

// Each document applied to the faults in force before it: what is in force
// after, or the refusal, which changes nothing.
TEST(MockFaults, AppliedOrRefusedWhole) {
  const std::string before = R"({"GET /v1/account/status":{"delay":100}})";
  struct Case {
    const char* document;
    const char* after;
    const char* error;
  } cases[] = {
      {R"({"PUT /v1/account/email":{"answer":"status","status":503,"body":"Down"}})",
       R"({"GET /v1/account/status":{"delay":100},)"
       R"("PUT /v1/account/email":{"answer":"status","body":"Down","status":503}})",
       ""},
      {R"({"GET /v1/account/status":{"answer":"hang","delay":1}})",
       R"({"GET /v1/account/status":{"answer":"hang","delay":1}})", ""},
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
      {R"({"GET /v1/account/status":{"answer":"not-json"}})",
       R"({"GET /v1/account/status":{"answer":"not-json"}})", ""},
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
  for (const Case& c : cases) {
    std::map<std::string, MockFault> faults;
    std::string error;
    ASSERT_TRUE(ApplyMockFaults(JsonToProperty(before.c_str()), faults, error)) << error;
    const bool applied = ApplyMockFaults(JsonToProperty(c.document), faults, error);
    EXPECT_EQ(applied, c.after != nullptr) << c.document;
    EXPECT_EQ(PropertyToJson(MockFaultsJson(faults), nullptr, nullptr),
              c.after != nullptr ? c.after : before)
        << c.document;
    if (!applied) {
      EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    }
  }
}

}  // namespace
}  // namespace Halden::devhost
