#include "host/devhost/devhost_config.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace Halden::devhost {
namespace {

// The default file is read by every test of the host: here, what is refused.
TEST(DevhostConfig, RefusesWhatItCannotUse) {
  const std::pair<const char*, const char*> cases[] = {
      {"resources: {a: [1", "YAML parser error"},
      {"resources:\n  region-locale: {}\n", "The resource path 'region-locale' does not begin"},
      {"accounts:\n  - email: a@x\n", "Account 1 has no token"},
      {"hello", "The configuration is not a mapping of resources, accounts and faults"},
      {"resources: [/a]", "The resources are not a mapping of paths to answers"},
      {"accounts: {token: t}", "The accounts are not a list"},
      {"faults:\n  PUT /v1/account/email: {answer: slow}\n",
       "The fault of PUT /v1/account/email has an answer that is none of"},
  };
  DevhostConfig config;
  std::string error;
  for (const auto& [text, refusal] : cases) {
    EXPECT_FALSE(ReadDevhostConfig(text, "", config, error)) << text;
    EXPECT_NE(error.find(refusal), std::string::npos) << error;
  }
  EXPECT_FALSE(LoadDevhostConfig("/nonexistent/devhost.yaml", "", config, error));
  EXPECT_EQ(error, "Cannot read the configuration file '/nonexistent/devhost.yaml'");
  EXPECT_FALSE(LoadDevhostConfig(::testing::TempDir(), "", config, error));
  // A file's refusal names the file.
  const std::string file = ::testing::TempDir() + "refused.yaml";
  std::ofstream(file) << cases[2].first;
  EXPECT_FALSE(LoadDevhostConfig(file, "", config, error));
  EXPECT_EQ(error.rfind(file + ": " + cases[2].second, 0), 0u) << error;
  // An empty file is no configuration, not a refusal.
  std::ofstream(file).close();
  EXPECT_TRUE(LoadDevhostConfig(file, "", config, error)) << error;
  std::remove(file.c_str());
  // Each ${mock} is the mock service's URL, the first one at the start too.
  ASSERT_TRUE(ReadDevhostConfig("resources: {/a: {u: '${mock}/x', v: '${mock}/y'}}\n",
                                "http://127.0.0.1:65535", config, error))
      << error;
  EXPECT_EQ(config.resources["/a"].Find("v").ToText(), "http://127.0.0.1:65535/y");
}

}  // namespace
}  // namespace Halden::devhost
