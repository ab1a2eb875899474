// Work under way on other threads, counted so that its owner can wait for
// it to end before the owner is destroyed.
#pragma once

#include <atomic>
#include <cstdint>

namespace Halden {

class InFlight {
 public:
  // One piece of work, begun for as long as the scope lives. Counted without
  // a lock: every host call and event begins and ends one.
  class Scope {
   public:
    explicit Scope(InFlight& owner) : owner(owner) { owner.running.fetch_add(1); }
    ~Scope() {
      if (owner.running.fetch_sub(1) == 1) owner.running.notify_all();
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    InFlight& owner;
  };

  // Returns once no work is under way.
  void WaitIdle() {
    for (uint32_t now = running.load(); now != 0; now = running.load()) running.wait(now);
  }

 private:
  std::atomic<uint32_t> running = 0;
};

}  // namespace Halden
