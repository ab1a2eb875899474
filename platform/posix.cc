#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

#include "platform/platform.h"

namespace Halden::platform {

void* ReserveRegion(std::size_t size) {
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

void ReleaseRegion(void* region, std::size_t size) { munmap(region, size); }

LocalTime GetLocalTime() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  time_t seconds = ts.tv_sec;
  tm parts{};
  localtime_r(&seconds, &parts);
  return {static_cast<uint32_t>(parts.tm_year + 1900), static_cast<uint32_t>(parts.tm_mon + 1),
          static_cast<uint32_t>(parts.tm_mday),        static_cast<uint32_t>(parts.tm_hour),
          static_cast<uint32_t>(parts.tm_min),         static_cast<uint32_t>(parts.tm_sec),
          static_cast<uint32_t>(ts.tv_nsec / 1000000)};
}

uint64_t HighResolutionCounter() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

uint64_t HighResolutionFrequency() { return 1000000000u; }

std::string ExecutablePath() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

uintptr_t CurrentThreadId() { return static_cast<uintptr_t>(pthread_self()); }

bool DebuggerAttached() {
  // A tracer shows in /proc/self/status as a non-zero TracerPid.
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) == 0) return std::atoi(line.c_str() + 10) != 0;
  }
  return false;
}

void DebuggerOutput(const char* text) {
  // Like the Windows channel, nothing is shown without a listener.
  if (DebuggerAttached()) {
    std::fputs(text, stderr);
  }
}

// Run only by a death test's child, which abort() ends before gcov writes
// its counters: not counted as covered or not.
// GCOVR_EXCL_START
void AbortProcess() {
  std::fflush(nullptr);
  std::abort();
}
// GCOVR_EXCL_STOP

}  // namespace Halden::platform
