// Many host threads calling the endpoints while token and messaging events
// arrive: the lock order holds (no deadlock, which a watchdog would turn
// into a failure), the thread sanitizer sees no race, and the record the
// GET returns is the one last published.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tests/email_verification/feature_support.h"

namespace Halden::feature_test {
namespace {

// Ends the process when the test does not finish in time.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit)
      : thread([this, limit] {
          std::unique_lock lock(mutex);
          if (!finished.wait_for(lock, limit, [this] { return done; })) {
            std::fprintf(stderr, "watchdog: the calls did not finish; a deadlock?\n");
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex);
      done = true;
    }
    finished.notify_one();
    thread.join();
  }

 private:
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::thread thread;
};

TEST_F(FeatureTest, ConcurrentCallsAndEventsKeepTheLockOrder) {
  Serve("GET", "/v1/account/status", Answer(200, R"({"email":"r@x","emailVerified":false})"));
  Serve("PUT", "/v1/account/email", Answer(204, ""));
  Serve("POST", "/v1/account/email/verification", Answer(200, ""));
  SignedInAtStart("t0");
  Start();
  ASSERT_FALSE(Get().error);

  Watchdog watchdog(std::chrono::seconds(600));
  std::atomic<bool> calling{true};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < 1000; ++i) {
        switch ((i + t) % 3) {
          case 0:
            Get();
            break;
          case 1:
            Put("u" + std::to_string(t) + "-" + std::to_string(i) + "@x", "pw");
            break;
          default:
            Post();
            break;
        }
      }
    });
  }
  std::thread tokens([&] {
    for (int i = 0; calling; ++i)
      TokenEvent(i % 3 == 2 ? "Delete" : "Update", "t" + std::to_string(i));
  });
  std::thread messages([&] {
    const char* const payloads[] = {R"({"emailStatus":"validated"})", "{",
                                    R"({"emailStatus":"x"})"};
    for (int i = 0; calling; ++i) Message(payloads[i % 3]);
  });
  for (std::thread& thread : threads) thread.join();
  calling = false;
  tokens.join();
  messages.join();

  const host::CallResponse last = Get();
  ASSERT_FALSE(last.error) << last.errorText;
  const std::vector<std::string> published = Published();
  ASSERT_FALSE(published.empty());
  EXPECT_EQ(published.back(),
            R"({"data":)" + last.json +
                R"(,"eventType":"Update","uri":"/qor-email-verification/v1/email"})");
}

}  // namespace
}  // namespace Halden::feature_test
