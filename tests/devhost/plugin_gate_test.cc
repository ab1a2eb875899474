#include "host/devhost/plugin_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace Halden::devhost {
namespace {

TEST(PluginGate, AReloadWaitsForTheCallsUnderWay) {
  PluginGate gate;
  std::atomic<bool> reloaded{false};
  std::thread reload;
  {
    const PluginGate::Pass call = gate.Enter();
    ASSERT_TRUE(call);
    reload = std::thread([&] {
      gate.BeginReload();
      reloaded = true;
      gate.EndReload("");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(reloaded);
  }
  reload.join();
  EXPECT_TRUE(reloaded);
}

TEST(PluginGate, CallsWaitForTheReloadButTheReloadersOwn) {
  PluginGate gate;
  std::atomic<bool> reloading{false};
  std::atomic<bool> reloaded{false};
  std::atomic<bool> passedWithin{false};
  std::thread reload([&] {
    gate.BeginReload();
    reloading = true;
    // The reloading thread gives the new plugin its state.
    passedWithin = static_cast<bool>(gate.Enter());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    reloaded = true;
    gate.EndReload("");
  });
  while (!reloading) std::this_thread::yield();
  const PluginGate::Pass call = gate.Enter();
  EXPECT_TRUE(call);
  EXPECT_TRUE(reloaded);
  EXPECT_TRUE(passedWithin);
  reload.join();
}

TEST(PluginGate, AFailedLoadRefusesCallsUntilAReloadSucceeds) {
  PluginGate gate;
  gate.BeginReload();
  gate.EndReload("The plugin is not loaded: file too short");
  const PluginGate::Pass refused = gate.Enter();
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.Refusal(), "The plugin is not loaded: file too short");
  gate.BeginReload();
  gate.EndReload("");
  EXPECT_TRUE(gate.Enter());
}

}  // namespace
}  // namespace Halden::devhost
