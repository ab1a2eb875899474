#include "logging/plugin_log_target.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "logging_fixture.h"

namespace Halden {
namespace {

struct HostLogCall {
  const HostFunctions* self;
  uint32_t level;
  std::string message;
};

std::vector<HostLogCall> hostLogCalls;

void ZVM_CDECL RecordHostLog(const HostFunctions* self, uint32_t level, const char* message) {
  hostLogCalls.push_back({self, level, message});
}

class PluginLogTargetTest : public LoggingTest {
 protected:
  void SetUp() override {
    LoggingTest::SetUp();
    hostLogCalls.clear();
    host.Log = &RecordHostLog;
  }

  HostFunctions host{};
};

TEST_F(PluginLogTargetTest, ForwardsLevelAndMessageToTheHost) {
  system.SetMinimumLevel(kLogOkay);
  auto target = std::make_unique<PluginLogTarget>(&host);
  EXPECT_EQ(system.FindTarget("PluginLogTarget"), nullptr);

  target->Configure(system.GetMinimumLevel(), 0, 0, "#D| #L| #G| #M");
  EXPECT_EQ(system.FindTarget("PluginLogTarget"), target->Handle());
  Log(kLogOkay, kGroupNetwork, "status %d", 200);
  Log(kLogError, 0, "%s", "failed");

  ASSERT_EQ(hostLogCalls.size(), 2u);
  EXPECT_EQ(hostLogCalls[0].self, &host);
  EXPECT_EQ(hostLogCalls[0].level, kLogOkay);
  EXPECT_EQ(hostLogCalls[0].message, "status 200");
  EXPECT_EQ(hostLogCalls[1].level, kLogError);
  EXPECT_EQ(hostLogCalls[1].message, "failed");

  target->SetMinimumLevel(kLogError);
  Log(kLogWarning, 0, "below the target's level");
  EXPECT_EQ(hostLogCalls.size(), 2u);

  target.reset();
  EXPECT_EQ(system.FindTarget("PluginLogTarget"), nullptr);
  Log(kLogError, 0, "after destruction");
  EXPECT_EQ(hostLogCalls.size(), 2u);
}

TEST_F(PluginLogTargetTest, WritesNothingWithoutAHostLogFunction) {
  LogRecord record{};
  PluginLogTarget noHost(nullptr);
  EXPECT_FALSE(noHost.Write(record));
  HostFunctions withoutLog{};
  PluginLogTarget noLog(&withoutLog);
  EXPECT_FALSE(noLog.Write(record));
  PluginLogTarget withLog(&host);
  EXPECT_TRUE(withLog.Handle()->operations->Write(withLog.Handle(), &record));
  EXPECT_EQ(hostLogCalls.size(), 1u);
}

}  // namespace
}  // namespace Halden
