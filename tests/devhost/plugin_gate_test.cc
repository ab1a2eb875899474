#include "host/devhost/plugin_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace Halden::devhost {
namespace {

// A call waits for a reload, but for the reloading thread's own (the rest is devhost_test's).
TEST(PluginGate, CallsWaitForTheReloadButTheReloadersOwn) {
  PluginGate gate;
  std::atomic<bool> reloading = false, reloaded = false, passedWithin = false;
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
  EXPECT_TRUE(gate.Enter() && reloaded && passedWithin);
  reload.join();
}

}  // namespace
}  // namespace Halden::devhost
