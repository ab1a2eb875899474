#include "host/devhost/devhost_config.h"

#include <gtest/gtest.h>

#include <string>

#include "formats/property_to_json.h"

namespace Halden::devhost {
namespace {

TEST(DevhostConfig, TheDefaultFileServesTheMockService) {
  DevhostConfig config;
  std::string error;
  ASSERT_TRUE(LoadDevhostConfig(ZVM_DEVHOST_CONFIG, "http://127.0.0.1:7", config, error)) << error;
  ASSERT_EQ(config.resources.size(), 5u);
  EXPECT_EQ(PropertyToJson(config.resources["/data-store/v1/system-settings/region_data"], nullptr,
                           nullptr),
            R"({"EU":{"servers":{"email_verification":{"external_url":"http://127.0.0.1:7"}}}})");
  EXPECT_EQ(
      PropertyToJson(config.resources["/ksa-auth/v1/authorization/access-token"], nullptr, nullptr),
      R"({"expiry":4102444800,"token":"dev-token-1"})");
  EXPECT_EQ(PropertyToJson(config.resources["/haldenclient/command-line-args"], nullptr, nullptr),
            "[]");
  ASSERT_EQ(config.accounts.size(), 2u);
  EXPECT_EQ(config.accounts[0].token, "dev-token-1");
  EXPECT_EQ(config.accounts[1].verified, true);
}

TEST(DevhostConfig, RefusesWhatItCannotUse) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"resources: {a: [1", "YAML parser error"},
      {"resources:\n  region-locale: {}\n", "The resource path 'region-locale' does not begin"},
      {"accounts:\n  - email: a@x\n", "Account 1 has no token"},
      {"faults:\n  PUT /v1/account/email: {answer: slow}\n",
       "The fault of PUT /v1/account/email has an answer that is none of"},
  };
  for (const Case& c : cases) {
    DevhostConfig config;
    std::string error;
    EXPECT_FALSE(ReadDevhostConfig(c.text, "", config, error)) << c.text;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  DevhostConfig config;
  std::string error;
  EXPECT_FALSE(LoadDevhostConfig("/nonexistent/devhost.yaml", "", config, error));
  EXPECT_EQ(error, "Cannot read the configuration file '/nonexistent/devhost.yaml'");
}

}  // namespace
}  // namespace Halden::devhost
