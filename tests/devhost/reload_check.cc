// zvm-devhost-reload <library> <configuration>: the email verification plugin loaded, signed in,
// called through the mock service, shut down and unloaded 200 times in one process. No cycle may
// leave a live block, nor the open files, threads or mapped memory grow past where they were after
// kWarmUp cycles (the HTTP and C libraries' first uses). Exits 0 passed, 1 failed, 2 misused.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "api/method.h"
#include "host/devhost/devhost_config.h"
#include "host/devhost/external_http.h"
#include "host/devhost/host_controls.h"
#include "host/devhost/mock_service.h"
#include "host/in_process_host.h"

namespace {

using namespace Halden;

constexpr int kWarmUp = 20;
constexpr int kCycles = 200;

struct ProcessState {
  std::size_t files = 0, threads = 0, libraryMappings = 0;
  unsigned long long mappedBytes = 0;
};

ProcessState Measure(const std::string& library) {
  // The mock service closes the connections its clients left a moment later.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ProcessState state;
  // The iterator's own descriptor is among them, in every measurement.
  state.files = std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  state.threads = std::distance(std::filesystem::directory_iterator("/proc/self/task"), {});
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    unsigned long long start = 0, end = 0;
    char access[5] = "";
    // Reserved address space (arenas, guard pages) is no memory until made accessible.
    if (std::sscanf(line.c_str(), "%llx-%llx %4s", &start, &end, access) == 3 &&
        std::string(access) != "---p") {
      state.mappedBytes += end - start;
    }
    state.libraryMappings += line.ends_with(library);
  }
  return state;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zvm-devhost-reload <library> <configuration>\n");
    return 2;
  }
  const std::string library = std::filesystem::canonical(argv[1]).string();
  devhost::MockEmailService mock([](const devhost::MockAccount&) {});
  std::string error;
  devhost::DevhostConfig config;
  if (!mock.Bind(0, error) || !devhost::LoadDevhostConfig(argv[2], mock.Url(), config, error) ||
      !config.resources.contains(devhost::kTokenResource) || config.accounts.empty()) {
    std::fprintf(stderr, "zvm-devhost-reload: %s\n",
                 error.empty() ? "needs a token and an account" : error.c_str());
    return 2;
  }
  mock.SetAccounts(config.accounts);
  mock.Start();
  host::InProcessHost host;
  host.SetRecording(false);
  host.SetExternalHandler(
      [](const host::ExternalCall& call) { return devhost::CarryExternalRequest(call); });
  for (const auto& [path, body] : config.resources) host.SetResourceBody(path, body);
  const std::string email = "/qor-email-verification/v1/email";
  const std::string change =
      R"({"email":"reload@example.test","password":")" + config.accounts.front().password + R"("})";
  long long mostLive = 0;
  std::string failure;
  ProcessState before;
  for (int i = 0; i < kWarmUp + kCycles && failure.empty(); ++i) {
    if (i == kWarmUp) before = Measure(library);
    if (!host.Load(library, ZVM_PLUGIN_EXPORT)) {
      failure = host.Error();
    } else if (!host.Initialize()) {
      failure = "Initialize failed";
    } else {
      host.DeliverResourceEvent(devhost::kTokenResource, "Create",
                                config.resources.at(devhost::kTokenResource));
      const host::CallResponse read = host.Call(kMethodGet, email);
      const host::CallResponse put = host.Call(kMethodPut, email, "application/json", change);
      if (read.error || put.error) {
        failure = "GET answered " + read.errorText + read.json + ", PUT " + put.errorText;
        continue;
      }
      host.Shutdown();
      mostLive = std::max(mostLive, static_cast<long long>(host.GetMemoryStats()[1]));
      host.Unload();
    }
  }
  const ProcessState after = Measure(library);
  mock.Stop();
  for (const auto& [when, state] : {std::pair{"before", before}, std::pair{"after", after}}) {
    std::printf("  %-6s %3zu open files, %2zu threads, %8llu KiB mapped, %zu mappings of it\n",
                when, state.files, state.threads, state.mappedBytes / 1024, state.libraryMappings);
  }
  std::printf("  live blocks after Shutdown: at most %lld in a cycle\n", mostLive);
  const bool passed = failure.empty() && mostLive == 0 && after.libraryMappings == 0 &&
                      after.files == before.files && after.threads == before.threads &&
                      after.mappedBytes <= before.mappedBytes;
  std::printf("reload check of %d cycles %s%s\n", kCycles, passed ? "passed" : "FAILED ",
              failure.c_str());
  return passed ? 0 : 1;
}
