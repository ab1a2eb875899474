#include "logging/console_log_targets.h"

#include <cstdio>

#include "logging/log_group.h"
#include "logging/log_system.h"
#include "platform/platform.h"

namespace Halden {
namespace {

// Room for a full message and the decorations of any line format in use.
constexpr std::size_t kLineSize = 2 * kLogMessageSize;

bool WriteConsole(LogTarget& target, const LogRecord& record) {
  return static_cast<BaseConsoleLogTarget&>(target).Write(record);
}

}  // namespace

BaseConsoleLogTarget::BaseConsoleLogTarget(const char* name) : LogTarget(name, &WriteConsole) {}

BaseConsoleLogTarget::~BaseConsoleLogTarget() { Detach(); }

std::size_t BaseConsoleLogTarget::FormatRecord(char* buffer, std::size_t size,
                                               const LogRecord& record) const {
  return LogSystem().FormatLine(buffer, size, LineFormat(), &record);
}

StdErrLogTarget::StdErrLogTarget() : BaseConsoleLogTarget("StdErrLogTarget") {
  SetMasks(kGroupDebug, kGroupGeneral);
  SetFormat("#E(#T): #L| #M");
}

StdErrLogTarget::~StdErrLogTarget() { Detach(); }

bool StdErrLogTarget::Write(const LogRecord& record) {
  char line[kLineSize];
  std::lock_guard<std::mutex> guard(TargetLock());
  const std::size_t length = FormatRecord(line, sizeof line, record);
  std::fwrite(line, 1, length, stderr);
  return true;
}

void StdErrLogTarget::Flush() {
  std::lock_guard<std::mutex> guard(TargetLock());
  std::fflush(stderr);
}

StdOutLogTarget::StdOutLogTarget() : BaseConsoleLogTarget("StdOutLogTarget") {
  SetMasks(kGroupGeneral, kGroupDebug);
  SetFormat("#M");
}

StdOutLogTarget::~StdOutLogTarget() { Detach(); }

bool StdOutLogTarget::Write(const LogRecord& record) {
  char line[kLineSize];
  std::lock_guard<std::mutex> guard(TargetLock());
  const std::size_t length = FormatRecord(line, sizeof line, record);
  std::fwrite(line, 1, length, stdout);
  if (flushEachLine) std::fflush(stdout);
  return true;
}

void StdOutLogTarget::Flush() {
  std::lock_guard<std::mutex> guard(TargetLock());
  std::fflush(stdout);
}

void StdOutLogTarget::SetFlushEachLine(bool flush) {
  std::lock_guard<std::mutex> guard(TargetLock());
  flushEachLine = flush;
}

DebuggerConsoleLogTarget::DebuggerConsoleLogTarget()
    : BaseConsoleLogTarget("DebuggerConsoleLogTarget") {
  SetMasks(kGroupDebug, 0);
  SetFormat("#E(#T): #L| #M");
}

DebuggerConsoleLogTarget::~DebuggerConsoleLogTarget() { Detach(); }

bool DebuggerConsoleLogTarget::Write(const LogRecord& record) {
  char line[kLineSize];
  std::lock_guard<std::mutex> guard(TargetLock());
  FormatRecord(line, sizeof line, record);
  platform::DebuggerOutput(line);
  return true;
}

void DebuggerConsoleLogTarget::Flush() {}

}  // namespace Halden
