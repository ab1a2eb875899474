#include "host/devhost/plugin_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace Halden::devhost {
namespace {

// A reload waits for the calls under way, and a library that failed to load
// refuses calls until one loads: ReloadTest (devhost_test.cc) shows both.
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

}  // namespace
}  // namespace Halden::devhost
