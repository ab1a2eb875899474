// zvm-devhost-load: the development host's load check. Concurrent clients
// make GET and PUT calls of the plugin's email resource through a running
// host on the loopback address; none may fail, the plugin's live blocks must
// not grow, and the requests per second are shown.
//
//   zvm-devhost-load <host URL> <password>
//
// Exits 0 when the check passed, 1 when it did not, 2 on wrong arguments.
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "formats/json_to_property.h"

namespace {

constexpr const char* kEmail = "/qor-email-verification/v1/email";
// Every run stops by itself: calls after the deadline count as failed.
constexpr auto kDeadline = std::chrono::seconds(120);
// The memory the plugin keeps for later trees follows how many it had at
// once, which the clients' timing moves by a region or two: a leak of even
// one block every thousand calls is more than this.
constexpr uint64_t kKeptBlocks = 8;

struct Outcome {
  std::size_t calls = 0;
  std::size_t failed = 0;
  double seconds = 0;
  std::string firstFailure;
};

// `calls` calls from `clients` threads, each with its own connection; with
// `puts`, every second call is a PUT of a new address.
Outcome Run(const std::string& url, const std::string& password, std::size_t clients,
            std::size_t calls, bool puts) {
  std::atomic<std::size_t> failed{0};
  std::mutex lock;
  std::string firstFailure;
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (std::size_t c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      httplib::Client client(url);
      client.set_keep_alive(true);
      client.set_tcp_nodelay(true);
      const std::size_t count = calls / clients + (c < calls % clients ? 1 : 0);
      for (std::size_t i = 0; i < count; ++i) {
        const bool put = puts && i % 2 == 1;
        if (std::chrono::steady_clock::now() - start > kDeadline) {
          failed += count - i;
          std::lock_guard guard(lock);
          firstFailure = "the run passed its deadline";
          break;
        }
        const httplib::Result result =
            put ? client.Put(kEmail,
                             R"({"email":"load-)" + std::to_string(c) + "-" + std::to_string(i) +
                                 R"(@example.test","password":")" + password + R"("})",
                             "application/json")
                : client.Get(kEmail);
        const int expected = put ? 204 : 200;
        if (!result || result->status != expected) {
          ++failed;
          std::lock_guard guard(lock);
          if (firstFailure.empty()) {
            firstFailure = result ? std::to_string(result->status) + " " + result->body
                                  : httplib::to_string(result.error());
          }
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return {calls, failed, elapsed.count(), firstFailure};
}

uint64_t LiveBlocks(const std::string& url) {
  httplib::Client client(url);
  const httplib::Result result = client.Get("/_host/memory");
  if (!result || result->status != 200) return UINT64_MAX;
  return Halden::JsonToProperty(result->body.c_str()).Find("liveBlocks").GetUnsigned(UINT64_MAX);
}

void Print(const char* name, const Outcome& outcome) {
  std::printf("  %-12s %zu calls in %.2f s: %.0f requests/s, %zu failed%s%s\n", name, outcome.calls,
              outcome.seconds, outcome.calls / outcome.seconds, outcome.failed,
              outcome.firstFailure.empty() ? "" : "; first: ", outcome.firstFailure.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string url = argc == 3 ? argv[1] : "";
  if (!url.starts_with("http://127.0.0.1:") && !url.starts_with("http://localhost:")) {
    std::fprintf(stderr, "usage: zvm-devhost-load <host URL on the loopback address> <password>\n");
    return 2;
  }
  const std::string password = argv[2];
  const std::size_t clients = 8;
  const std::size_t calls = 10000;

  // The warm-up settles the plugin's caches and pools before its blocks
  // are counted.
  Run(url, password, clients, calls / 4, true);
  const uint64_t before = LiveBlocks(url);
  const Outcome mixed = Run(url, password, clients, calls, true);
  const Outcome reads = Run(url, password, clients, calls, false);
  const uint64_t after = LiveBlocks(url);

  std::printf("load: %zu clients, %zu calls per run\n", clients, calls);
  Print("GET and PUT", mixed);
  Print("GET only", reads);
  std::printf(" plugin live blocks: %llu before, %llu after\n",
              static_cast<unsigned long long>(before), static_cast<unsigned long long>(after));
  const bool passed = mixed.failed == 0 && reads.failed == 0 && before != UINT64_MAX &&
                      after <= before + kKeptBlocks;
  std::printf("load check %s\n", passed ? "passed" : "FAILED");
  return passed ? 0 : 1;
}
