// Lets the development host's calls into the plugin through, but for a
// reload: a reload waits for the calls under way to end, and the calls that
// come meanwhile wait for it, up to kReloadWait, then are refused. While the
// library that was to be loaded has failed to load, every call is refused,
// with the reason, until a reload succeeds.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

namespace Halden::devhost {

class PluginGate {
 public:
  static constexpr std::chrono::seconds kReloadWait{10};

  // A call's way through: while one is held, no reload begins. Empty (false)
  // when refused, with the reason.
  class Pass {
   public:
    Pass(Pass&& other) noexcept : gate(other.gate), refusal(std::move(other.refusal)) {
      other.gate = nullptr;
    }
    Pass& operator=(Pass&&) = delete;
    ~Pass();
    explicit operator bool() const { return refusal.empty(); }
    const std::string& Refusal() const { return refusal; }

   private:
    friend class PluginGate;
    Pass(PluginGate* gate, std::string refusal) : gate(gate), refusal(std::move(refusal)) {}
    // Null when the pass counts for nothing: refused, or the reloading
    // thread's own.
    PluginGate* gate;
    std::string refusal;
  };

  Pass Enter();
  // Closes the gate and waits for the passes held to be given back. The
  // reloading thread itself still passes, so that it can give the new
  // plugin its state before anyone else calls it.
  void BeginReload();
  // Opens the gate again; with a `failure`, to refusals that give it.
  void EndReload(const std::string& failure);

 private:
  void Leave();

  std::mutex lock;
  std::condition_variable changed;
  std::size_t held = 0;
  bool reloading = false;
  std::thread::id reloader;
  std::string failure;
};

}  // namespace Halden::devhost
