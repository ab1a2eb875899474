#include "plugin/plugin.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include "binding/registry.h"
#include "host/in_process_host.h"
#include "logging/log_system.h"
#include "plugin/plugin_api_version.h"
#include "plugin/plugin_name.h"
#include "tests/support/small_stack.h"  // HALDEN_TEST_SANITIZED

namespace Halden {
namespace {

// Logs from Start, so a test can see where the plugin's lines go.
class TestPlugin : public Plugin {
 public:
  bool Start() override {
    if (startThrows) throw std::runtime_error("no start");
    Log(kLogWarning, kGroupGeneral, "started %s", UserAgent().c_str());
    Wait();
    return startResult;
  }
  static inline bool startResult = true;
  static inline bool startThrows = false;
};

void ZVM_CDECL LoadTestPlugin(PluginRegistration* registration) {
  Plugin::Register(new TestPlugin, registration, "qor-email-verification");
}

// The size the C runtime gave a block, as the hooks count it.
#if defined(_WIN32)
std::size_t UsableSize(void* block) { return _msize(block); }
#else
std::size_t UsableSize(void* block) { return malloc_usable_size(block); }
char* Duplicate(const char* text) { return strdup(text); }
void* AlignedBlock(std::size_t size) {
  void* block = nullptr;
  return posix_memalign(&block, 64, size) == 0 ? block : nullptr;
}
#endif

// A host that gives no function table gets a plugin that did not start; null
// instances and outputs are refused rather than followed. The runtime's own
// records and events are registered, tagged, before the plugin's.
TEST(Plugin, RegistrationRefusesWhatItCannotFollowAndRegistersTheRuntimeRecords) {
  host::InProcessHost host;
  ASSERT_TRUE(host.Register(&LoadTestPlugin));
  const PluginRegistration& record = host.Registration();
  EXPECT_EQ(record.callbacks->Initialize(record.instance, nullptr), 0);
  HostApi noFunctions{nullptr, 0};
  EXPECT_EQ(record.callbacks->Initialize(record.instance, &noFunctions), 0);
  const HostFunctions functions{};
  const HostApi api{&functions, 0};
  EXPECT_EQ(record.callbacks->Initialize(nullptr, &api), 0);
  record.callbacks->Shutdown(nullptr);
  record.callbacks->GetMemoryStats(record.instance, nullptr);
  BindingRegistry& types = static_cast<TestPlugin*>(record.instance)->Types();
  const auto tags = [](const auto* found) {
    return found != nullptr ? found->tags : std::vector<std::string>{"missing"};
  };
  for (const char* name : {"PluginManagerState", "PluginManagerResource", "PluginResourceEventType",
                           "PluginResourceEvent", "PluginLcdsEvent", "PluginLcdsResponse",
                           "PluginServiceProxyResponse"}) {
    EXPECT_EQ(tags(types.FindTypeByName(name)), std::vector<std::string>{"hclient"}) << name;
  }
  for (const char* name : {"OnJsonApiEvent", "OnLcdsEvent", "OnServiceProxyUuidEvent",
                           "OnServiceProxyMethodEvent", "OnServiceProxyAsyncEvent"}) {
    EXPECT_EQ(tags(types.FindEvent(name)), std::vector<std::string>{"hclient"}) << name;
  }
}

// The first host initialized gets the process's logging; the user agent
// reads the version, and a library's name follows its type (an unknown one
// marked, and logged).
TEST(Plugin, InitializeRoutesLoggingToTheFirstHostAndBuildsTheNames) {
  EXPECT_EQ((PluginApiVersion{18, 3, 1, "rc.1", "b7"}).ToText(), "18.3.1-rc.1+b7");
  host::InProcessHost first;
  ASSERT_TRUE(first.Register(&LoadTestPlugin, 18, 3, 1));
  // The console targets are the host's, even one the process attached.
  LogSystem().GetStdOutTarget()->Attach();
  ASSERT_TRUE(first.Initialize());
  EXPECT_FALSE(LogSystem().GetStdOutTarget()->IsAttached());
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
  EXPECT_EQ(first.Waits(), (std::vector<std::pair<std::string, uint32_t>>{{"Wait: yield", 0}}));
  static_cast<TestPlugin*>(first.Registration().instance)->HostReserved(1, 2, 3, 4, 5);
  EXPECT_EQ(first.Calls().back(), "Reserved");
  for (const auto& [type, names] : {std::pair{"backend", "zvm-be-x x backend"},
                                    {"frontend", "zvm-fe-x x frontend"},
                                    {"other", "zvm-xx-x x other"}}) {
    const PluginName name = MakePluginName("x", type);
    EXPECT_EQ(name.fullName + " " + name.shortName + " " + name.type, names);
  }
  EXPECT_EQ(first.Lines().back().message,
            "            Plugin Manager| "
            R"(GetFullNameFromShortNameAndType("x", "other") called with an unknown type)");

  // A second plugin in the process leaves the configuration to the first.
  LogSystem().SetMinimumLevel(kLogWarning);
  host::InProcessHost second;
  ASSERT_TRUE(second.Register(&LoadTestPlugin));
  TestPlugin::startResult = false;
  EXPECT_FALSE(second.Initialize());
  TestPlugin::startResult = true;
  TestPlugin::startThrows = true;
  EXPECT_FALSE(second.Initialize());
  TestPlugin::startThrows = false;
  EXPECT_EQ(LogSystem().GetMinimumLevel(), kLogWarning);
  EXPECT_EQ(second.Lines().size(), 0u);
  EXPECT_EQ(first.Lines().size(), 3u);
  second.Shutdown();
  first.Shutdown();
  EXPECT_EQ(LogSystem().FindTarget("PluginLogTarget"), nullptr);
}

// This program links the allocation hooks of a plugin library, with the same
// wrapped C routines: its own allocations are the ones counted.
TEST(Plugin, GetMemoryStatsCountsKnownAllocations) {
  host::InProcessHost host;
  ASSERT_TRUE(host.Register(&LoadTestPlugin));
  const PluginRegistration& record = host.Registration();
  // Peak bytes, live blocks, bytes allocated, allocations, bytes freed, frees, 0.
  using Stats = std::array<uint64_t, 7>;
  auto read = [&record] {
    Stats stats{};
    record.callbacks->GetMemoryStats(record.instance, stats.data());
    return stats;
  };
  auto inUse = [](const Stats& stats) { return stats[2] - stats[4]; };
  using Allocate = void* (*)(std::size_t);
  using Release = void (*)(void*);
  const Allocate cMalloc = [](std::size_t n) { return std::malloc(n); };
  // A realloc of a fresh block of 16 bytes.
  const Allocate cRealloc = [](std::size_t n) { return std::realloc(std::malloc(16), n); };
  const Allocate cNew = [](std::size_t n) { return operator new(n); };
  const Allocate cNewArray = [](std::size_t n) { return operator new[](n); };
  const Release cFree = [](void* block) { std::free(block); };
  const Release cDelete = [](void* block) { operator delete(block); };
  const Release cDeleteArray = [](void* block) { operator delete[](block); };
  static volatile std::size_t hugeSize = std::numeric_limits<std::size_t>::max();
  const std::size_t huge = hugeSize;
  const std::size_t abovePeak = read()[0] + (1 << 20);
  struct Case {
    const char* what;
    std::size_t size;
    Allocate allocate;
    Release release;
    uint64_t allocations, frees;  // made by allocate
  } cases[] = {
    // First, so that it raises the peak above what the others reach.
    {"malloc", abovePeak, cMalloc, cFree, 1, 0},
    {"malloc", 100, cMalloc, cFree, 1, 0},
    {"calloc", 100, [](std::size_t n) { return std::calloc(n, 1); }, cFree, 1, 0},
    {"realloc of null", 100, [](std::size_t n) { return std::realloc(nullptr, n); }, cFree, 1, 0},
    {"realloc", 4096, cRealloc, cFree, 2, 1},
#if !defined(_WIN32)
    // MinGW's headers call the runtime DLL's _strdup through its import,
    // which the linker cannot wrap in a test program.
    {"strdup", 5,
     [](std::size_t) {
       char* copy = Duplicate("text");
       EXPECT_STREQ(copy, "text");
       return static_cast<void*>(copy);
     },
     cFree, 1, 0},
#endif
    {"new", 100, cNew, cDelete, 1, 0},
    {"new of 0", 0, cNew, [](void* block) { operator delete (block, std::size_t{0}); }, 1, 0},
    {"new[]", 100, cNewArray, cDeleteArray, 1, 0},
    {"new[] of 0", 0, cNewArray, [](void* block) { operator delete[](block, std::size_t{0}); }, 1,
     0},
    {"new nothrow", 100, [](std::size_t n) { return operator new(n, std::nothrow); }, cDelete, 1,
     0},
    {"new[] nothrow", 100, [](std::size_t n) { return operator new[](n, std::nothrow); },
     cDeleteArray, 1, 0},
#if !defined(_WIN32)
    {"aligned_alloc", 256, [](std::size_t n) { return std::aligned_alloc(64, n); }, cFree, 1, 0},
    {"posix_memalign", 256, AlignedBlock, cFree, 1, 0},
#endif
// The sanitizers' allocators end the process rather than fail.
#if !defined(HALDEN_TEST_SANITIZED)
    {"realloc to 0", 0, cRealloc, cFree, 1, 1},
    {"failing realloc", huge,
     [](std::size_t n) {
       void* block = std::malloc(16);
       return std::realloc(block, n) == nullptr ? block : nullptr;
     },
     cFree, 1, 0},
    {"failing malloc", huge, cMalloc, cFree, 0, 0},
#if !defined(_WIN32)
    {"failing posix_memalign", huge, AlignedBlock, cFree, 0, 0},
#endif
#endif
  };
  for (const Case& c : cases) {
    const Stats before = read();
    void* block = c.allocate(c.size);
    const Stats allocated = read();
    const std::size_t usable = block != nullptr ? UsableSize(block) : 0;
    c.release(block);  // a null block too
    const Stats released = read();
    // What was asked for, or nothing when the request failed.
    EXPECT_GE(usable, block != nullptr && c.size != huge ? c.size : 0) << c.what;
    EXPECT_EQ(allocated[3] - before[3], c.allocations) << c.what;
    EXPECT_EQ(allocated[5] - before[5], c.frees) << c.what;
    EXPECT_EQ(inUse(allocated) - inUse(before), usable) << c.what;
    EXPECT_EQ(allocated[0], std::max(before[0], inUse(allocated))) << c.what;
    EXPECT_EQ(released[5] - allocated[5], block != nullptr ? 1u : 0u) << c.what;
    EXPECT_EQ(released[1], before[1]) << c.what;
    EXPECT_EQ(inUse(released), inUse(before)) << c.what;
    EXPECT_EQ(released[0], allocated[0]) << c.what;
    EXPECT_EQ(released[6], 0u) << c.what;
  }
#if !defined(_WIN32) && !defined(HALDEN_TEST_SANITIZED)
  // A block freed goes back to the C runtime, which gives it out again.
  void* volatile freed = cMalloc(200);
  cFree(freed);
  void* volatile again = cMalloc(200);
  EXPECT_EQ(static_cast<void*>(again), static_cast<void*>(freed));
  cFree(again);
#endif
}

}  // namespace
}  // namespace Halden
