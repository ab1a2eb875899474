// Work under way on other threads, counted so that its owner can wait for
// it to end before the owner is destroyed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace Halden {

class InFlight {
 public:
  // One piece of work, begun for as long as the scope lives.
  class Scope {
   public:
    explicit Scope(InFlight& owner) : owner(owner) {
      std::lock_guard guard(owner.lock);
      ++owner.running;
    }
    ~Scope() {
      std::lock_guard guard(owner.lock);
      if (--owner.running == 0) owner.idle.notify_all();
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    InFlight& owner;
  };

  // Returns once no work is under way.
  void WaitIdle() {
    std::unique_lock guard(lock);
    idle.wait(guard, [this] { return running == 0; });
  }

 private:
  std::mutex lock;
  std::condition_variable idle;
  uint32_t running = 0;
};

}  // namespace Halden
