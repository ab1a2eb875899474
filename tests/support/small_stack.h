// Runs test code on a thread with a small stack, to show that a recursion is
// bounded: a host thread's stack may be as small as 1 MiB.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <functional>

namespace Halden::testing {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define HALDEN_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define HALDEN_TEST_SANITIZED 1
#endif
#endif

// The sanitizers' instrumentation makes every frame several times larger.
#ifdef HALDEN_TEST_SANITIZED
inline constexpr std::size_t kSmallStack = std::size_t{8} << 20;
#else
inline constexpr std::size_t kSmallStack = std::size_t{1} << 20;
#endif

// Runs body on a new thread whose stack is `stackSize` bytes and waits for
// it. Returns false when the thread could not be started or body threw.
inline bool RunOnSmallStack(const std::function<void()>& body,
                            std::size_t stackSize = kSmallStack) {
  struct Call {
    const std::function<void()>* body;
    bool completed;
  } call{&body, false};
  auto run = [](void* argument) -> void* {
    Call* call = static_cast<Call*>(argument);
    try {
      (*call->body)();
      call->completed = true;
    } catch (...) {
    }
    return nullptr;
  };
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  pthread_t thread;
  const bool started = pthread_attr_setstacksize(&attributes, stackSize) == 0 &&
                       pthread_create(&thread, &attributes, run, &call) == 0;
  pthread_attr_destroy(&attributes);
  if (!started) return false;
  pthread_join(thread, nullptr);
  return call.completed;
}

}  // namespace Halden::testing
