#include "logging/log_target.h"

#include "logging/log_system.h"

namespace Halden {
namespace {

LogTarget& Of(LogTargetHandle* handle) { return *handle->target; }

}  // namespace

static_assert(sizeof(LogTargetOperations) == 12 * sizeof(void (*)()));

const LogTargetOperations LogTarget::kOperations = {
    [](LogTargetHandle*) -> uint32_t { return 1; },
    [](LogTargetHandle* h, uint32_t level) { Of(h).SetMinimumLevel(level); },
    [](LogTargetHandle* h) { return Of(h).MinimumLevel(); },
    [](LogTargetHandle* h, uint64_t include, uint64_t exclude) {
      Of(h).SetMasks(include, exclude);
    },
    [](LogTargetHandle* h) { return Of(h).IncludeMask(); },
    [](LogTargetHandle* h) { return Of(h).ExcludeMask(); },
    [](LogTargetHandle* h) { return Of(h).Name(); },
    [](LogTargetHandle* h) { return Of(h).Format(); },
    [](LogTargetHandle* h) { Of(h).Attach(); },
    [](LogTargetHandle* h) { Of(h).Detach(); },
    [](LogTargetHandle* h) { return Of(h).IsAttached(); },
    [](LogTargetHandle* h, const LogRecord* record) {
      LogTarget& target = Of(h);
      return target.write != nullptr && record != nullptr && target.write(target, *record);
    },
};

LogTarget::LogTarget() : LogTarget("LogTarget", nullptr) {}

LogTarget::LogTarget(const char* name, WriteFunction write)
    : name(name), write(write), handle{&kOperations, this} {}

LogTarget::~LogTarget() { Detach(); }

void LogTarget::Detach() {
  // Only the system's lock is taken: the system holds it while it calls a
  // target's write, which takes the target's lock, so taking the target's
  // lock first here could deadlock.
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  attached = false;
  LogSystem().RemoveTarget(&handle);
}

const char* LogTarget::Name() const { return name; }

const char* LogTarget::Format() const {
  std::lock_guard<std::mutex> guard(lock);
  return format.c_str();
}

void LogTarget::Attach() {
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  if (!attached) {
    attached = true;
    LogSystem().AddTarget(&handle);
  }
}

bool LogTarget::IsAttached() const {
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  return attached;
}

void LogTarget::SetMinimumLevel(uint32_t level) {
  std::lock_guard<std::mutex> guard(lock);
  minimumLevel = level;
}

uint32_t LogTarget::MinimumLevel() const {
  std::lock_guard<std::mutex> guard(lock);
  return minimumLevel;
}

void LogTarget::SetMasks(uint64_t include, uint64_t exclude) {
  std::lock_guard<std::mutex> guard(lock);
  includeMask = include;
  excludeMask = exclude;
}

uint64_t LogTarget::IncludeMask() const {
  std::lock_guard<std::mutex> guard(lock);
  return includeMask;
}

uint64_t LogTarget::ExcludeMask() const {
  std::lock_guard<std::mutex> guard(lock);
  return excludeMask;
}

void LogTarget::Configure(uint32_t level, uint64_t include, uint64_t exclude,
                          const char* lineFormat) {
  {
    std::lock_guard<std::mutex> guard(lock);
    minimumLevel = level;
    includeMask = include;
    excludeMask = exclude;
    format = lineFormat != nullptr ? lineFormat : "";
  }
  // Outside the target's lock, for the same reason as in Detach.
  Attach();
}

void LogTarget::SetFormat(const char* lineFormat) {
  std::lock_guard<std::mutex> guard(lock);
  format = lineFormat != nullptr ? lineFormat : "";
}

}  // namespace Halden
