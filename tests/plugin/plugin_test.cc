#include "plugin/plugin.h"

#include <gtest/gtest.h>

#include <string>

#include "binding/registry.h"
#include "host/in_process_host.h"
#include "logging/log_system.h"

namespace Halden {
namespace {

TEST(PluginApiVersion, CompatibilityAndText) {
  struct Case {
    PluginApiVersion core, plugin;
    bool compatible;
  } cases[] = {
      {{18, 0, 0, {}, {}}, {18, 0, 0, {}, {}}, true},
      {{18, 2, 0, {}, {}}, {18, 0, 0, {}, {}}, true},
      {{18, 0, 5, {}, {}}, {18, 0, 4, {}, {}}, true},
      {{18, 0, 0, {}, {}}, {18, 1, 0, {}, {}}, false},
      {{18, 1, 0, {}, {}}, {18, 0, 9, {}, {}}, true},
      {{19, 0, 0, {}, {}}, {18, 0, 0, {}, {}}, false},
      {{17, 9, 9, {}, {}}, {18, 0, 0, {}, {}}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsCompatibleCore(c.core, c.plugin), c.compatible) << c.core.ToText();
  }
  EXPECT_EQ(SupportedPluginApiVersion().ToText(), "18.0.0");
  EXPECT_EQ((PluginApiVersion{18, 0, 0, "rc1", "7"}.ToText()), "18.0.0-rc1+7");
  EXPECT_EQ((PluginApiVersion{4294967295u, 1, 2, "", "b"}.ToText()), "4294967295.1.2+b");
}

TEST(PluginName, PrefixByType) {
  EXPECT_EQ(GetFullNameFromShortNameAndType("qor-email-verification", "backend"),
            "zvm-be-qor-email-verification");
  EXPECT_EQ(GetFullNameFromShortNameAndType("x", "frontend"), "zvm-fe-x");
  EXPECT_EQ(GetFullNameFromShortNameAndType("x", "other"), "zvm-xx-x");
}

// Logs from Start, so a test can see where the plugin's lines go.
class TestPlugin : public Plugin {
 public:
  bool Start() override {
    Log(kLogWarning, 0, "started %s", UserAgent().c_str());
    Wait();
    return startResult;
  }
  static inline bool startResult = true;
};

void ZVM_CDECL LoadTestPlugin(PluginRegistration* registration) {
  Plugin::Register(new TestPlugin, registration, "qor-email-verification");
}

TEST(Plugin, RegistrationFillsTheRecord) {
  host::InProcessHost host;
  ASSERT_TRUE(host.Register(&LoadTestPlugin, 18, 3, 1));
  const PluginRegistration& record = host.Registration();
  EXPECT_EQ(record.pluginMajor, 18u);
  EXPECT_EQ(record.pluginMinor, 0u);
  EXPECT_STREQ(record.shortName, "qor-email-verification");
  auto* plugin = static_cast<TestPlugin*>(record.instance);
  EXPECT_EQ(plugin->Name().fullName, "zvm-be-qor-email-verification");
  EXPECT_EQ(plugin->TypeNamePrefix(), "QorEmailVerification");
  EXPECT_EQ(plugin->DocumentationTags(),
            (std::vector<std::string>{"Plugins", "Plugin qor-email-verification"}));
  EXPECT_EQ(plugin->CoreVersion().ToText(), "18.3.1");
  // A host that gives no function table gets a plugin that did not start.
  EXPECT_EQ(record.callbacks->Initialize(record.instance, nullptr), 0);
  HostApi noFunctions{nullptr, 0};
  EXPECT_EQ(record.callbacks->Initialize(record.instance, &noFunctions), 0);
  // Null instances and outputs are refused rather than followed.
  EXPECT_EQ(record.callbacks->Initialize(nullptr, &noFunctions), 0);
  record.callbacks->Shutdown(nullptr);
  record.callbacks->GetMemoryStats(record.instance, nullptr);
  // The runtime's own records are registered before the plugin's.
  EXPECT_NE(plugin->Types().FindEvent("OnJsonApiEvent"), nullptr);
  EXPECT_NE(plugin->Types().FindTypeByName("PluginServiceProxyResponse"), nullptr);
}

TEST(Plugin, InitializeRoutesLoggingToTheFirstHostAndBuildsTheUserAgent) {
  host::InProcessHost first;
  ASSERT_TRUE(first.Register(&LoadTestPlugin, 18, 3, 1));
  ASSERT_TRUE(first.Initialize());
  ASSERT_NE(LogSystem().FindTarget("PluginLogTarget"), nullptr);
  EXPECT_EQ(LogSystem().GetMinimumLevel(), kLogOkay);
  EXPECT_EQ(LogSystem().GetMutedGroups(), 4u);

  std::vector<host::LoggedLine> lines = first.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].level, 1u);
  EXPECT_EQ(lines[0].message, "started HaldenClient/18.3.1 (qor-email-verification)");
  // The runtime subscribes to the three service-proxy events before Start.
  EXPECT_EQ(first.Calls(), (std::vector<std::string>{"Subscribe", "Subscribe", "Subscribe", "Log",
                                                     "BeginWait", "Yield", "EndWait"}));

  // A second plugin in the process leaves the configuration to the first.
  LogSystem().SetMinimumLevel(kLogWarning);
  host::InProcessHost second;
  ASSERT_TRUE(second.Register(&LoadTestPlugin));
  TestPlugin::startResult = false;
  EXPECT_FALSE(second.Initialize());
  TestPlugin::startResult = true;
  EXPECT_EQ(LogSystem().GetMinimumLevel(), kLogWarning);
  EXPECT_EQ(second.Lines().size(), 0u);
  EXPECT_EQ(first.Lines().size(), 2u);
  second.Shutdown();
  first.Shutdown();
  EXPECT_EQ(LogSystem().FindTarget("PluginLogTarget"), nullptr);
}

}  // namespace
}  // namespace Halden
