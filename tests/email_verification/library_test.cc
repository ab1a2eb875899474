#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "host/in_process_host.h"

namespace Halden::host {
namespace {

TEST(PluginLibrary, RegistersInitializesCountsAndShutsDown) {
  InProcessHost host;
  ASSERT_TRUE(host.Load(ZVM_PLUGIN_LIBRARY)) << host.Error();
  const PluginRegistration& record = host.Registration();
  EXPECT_EQ(record.pluginMajor, 18u);
  EXPECT_EQ(record.pluginMinor, 0u);
  EXPECT_EQ(record.pluginPatch, 0u);
  EXPECT_STREQ(record.shortName, "qor-email-verification");

  ASSERT_TRUE(host.Initialize());
  std::vector<uint64_t> stats = host.GetMemoryStats();
  ASSERT_EQ(stats.size(), 7u);
  uint64_t peak = stats[0], live = stats[1], allocated = stats[2], allocations = stats[3],
           freed = stats[4], frees = stats[5];
  // Registration alone allocates: the plugin object and its names.
  EXPECT_GT(allocations, 0u);
  EXPECT_EQ(live, allocations - frees);
  EXPECT_GE(allocated, freed);
  EXPECT_GE(peak, allocated - freed);
  EXPECT_EQ(stats[6], 0u);

  host.Shutdown();
  // Shut-down leaves no subscription behind.
  EXPECT_TRUE(host.Subscriptions().empty());
}

TEST(PluginLibrary, AcceptsNewerMinorOfTheSameMajor) {
  InProcessHost host;
  ASSERT_TRUE(host.Load(ZVM_PLUGIN_LIBRARY, 18, 2, 0)) << host.Error();
  EXPECT_TRUE(host.Initialize());
}

TEST(PluginLibrary, IgnoresANullRegistrationRecord) {
  void* library = dlopen(ZVM_PLUGIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto load =
      reinterpret_cast<InProcessHost::Export>(dlsym(library, "load_qor_email_verification"));
  ASSERT_NE(load, nullptr);
  load(nullptr);
}

TEST(PluginLibraryDeathTest, IncompatibleCoreEndsTheProcessWithTheReport) {
  EXPECT_DEATH(
      {
        InProcessHost host;
        host.Load(ZVM_PLUGIN_LIBRARY, 19, 0, 0);
      },
      "Expression: ALE-EECF0606");
  EXPECT_DEATH(
      {
        InProcessHost host;
        host.Load(ZVM_PLUGIN_LIBRARY, 17, 9, 9);
      },
      "ALE-EECF0606");
}

}  // namespace
}  // namespace Halden::host
