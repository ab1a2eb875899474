#include "logging/log_system.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "logging/console_log_targets.h"
#include "platform/platform.h"
#include "util/no_destructor.h"

namespace Halden {
namespace {

constexpr std::size_t kGroupCount = 64;

struct State {
  std::vector<LogTargetHandle*> targets;
  bool disabled = false;
  bool secondaryFlag = false;
  uint32_t minimumLevel = kLogWarning;
  uint64_t mutedGroups = kGroupExtra;
  uint32_t warnings = 0;
  uint64_t errors = 0;
  std::unique_ptr<StdOutLogTarget> stdOut;
  std::unique_ptr<StdErrLogTarget> stdErr;
  std::unique_ptr<DebuggerConsoleLogTarget> debugger;
};

// Guarded by LogSystemLock().
State* state = nullptr;
uint32_t references = 0;

struct GroupTable {
  std::mutex lock;
  char codes[kGroupCount][4];
  std::atomic<std::size_t> last{7};

  GroupTable() {
    const char* const initial[] = {"DBG", "GEN", "XTR", "PRF", "MEM", "DSK", "NET", "TST"};
    for (std::size_t i = 0; i < kGroupCount; ++i) {
      std::strcpy(codes[i], i <= last ? initial[i] : "???");
    }
  }
};

GroupTable& Groups() {
  // Never destroyed, so that logging from static destructors still works.
  static NoDestructor<GroupTable> table;
  return *table;
}

uint64_t ClockStart() {
  static const uint64_t start = platform::HighResolutionCounter();
  return start;
}

State& EnsureState() {
  if (state == nullptr) {
    ClockStart();
    state = new State();
    // The built-in targets attach through the system, so the state must be
    // in place before they are made.
    state->stdOut = std::make_unique<StdOutLogTarget>();
    state->stdErr = std::make_unique<StdErrLogTarget>();
    state->debugger = std::make_unique<DebuggerConsoleLogTarget>();
    state->stdErr->Attach();
    state->debugger->Attach();
  }
  return *state;
}

// Appends to a bounded buffer, cutting what does not fit.
struct Output {
  char* buffer;
  std::size_t capacity;
  std::size_t length = 0;

  void Put(char c) {
    if (length < capacity) buffer[length++] = c;
  }
  void Put(const char* text) {
    while (*text != '\0' && length < capacity) buffer[length++] = *text++;
  }
};

std::size_t Finish(int written, std::size_t size) {
  if (written < 0) return 0;
  return std::min(static_cast<std::size_t>(written), size - 1);
}

uint32_t InterfaceVersion() { return 1; }

void AddRef() {
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  EnsureState();
  ++references;
}

void Release() {
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  if (references == 0 || --references > 0 || state == nullptr) return;
  const std::vector<LogTargetHandle*> attached = state->targets;
  for (LogTargetHandle* handle : attached) handle->operations->Detach(handle);
  state->targets.clear();
  // The built-in targets detach again as they are destroyed; with the state
  // gone first, that finds nothing to do.
  std::unique_ptr<State> old(state);
  state = nullptr;
}

void SetMinimumLevel(uint32_t level) {
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  EnsureState().minimumLevel = level;
}

uint32_t GetMinimumLevel() {
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  return EnsureState().minimumLevel;
}

void SetMutedGroups(uint64_t mask) {
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  EnsureState().mutedGroups = mask;
}

uint64_t GetMutedGroups() {
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  return EnsureState().mutedGroups;
}

void Disable() {
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  EnsureState().disabled = true;
}

void Enable() {
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  EnsureState().disabled = false;
}

void SetSecondaryFlag() {
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  EnsureState().secondaryFlag = true;
}

void ClearSecondaryFlag() {
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  EnsureState().secondaryFlag = false;
}

void AddTarget(LogTargetHandle* handle) {
  if (handle == nullptr) return;
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  EnsureState().targets.push_back(handle);
}

void RemoveTarget(LogTargetHandle* handle) {
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  if (state == nullptr) return;
  std::erase(state->targets, handle);
}

LogTargetHandle* FindTarget(const char* name) {
  if (name == nullptr) return nullptr;
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  for (LogTargetHandle* handle : EnsureState().targets) {
    if (std::strcmp(handle->operations->GetName(handle), name) == 0) return handle;
  }
  return nullptr;
}

LogTargetHandle* GetStdOutTarget() {
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  return EnsureState().stdOut->Handle();
}

LogTargetHandle* GetStdErrTarget() {
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  return EnsureState().stdErr->Handle();
}

LogTargetHandle* GetDebuggerTarget() {
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  return EnsureState().debugger->Handle();
}

uint64_t GroupMask(const char* code) {
  if (code == nullptr) return 0;
  GroupTable& groups = Groups();
  std::lock_guard<std::mutex> guard(groups.lock);
  const std::size_t last = groups.last.load();
  for (std::size_t i = 0; i <= last; ++i) {
    if (std::strncmp(groups.codes[i], code, 3) == 0) return uint64_t{1} << i;
  }
  // A full table has no bit to give; 0 stands for "no group".
  if (last + 1 >= kGroupCount) return 0;
  const std::size_t claimed = ++groups.last;
  std::strncpy(groups.codes[claimed], code, 3);
  groups.codes[claimed][3] = '\0';
  return uint64_t{1} << claimed;
}

std::size_t GroupNames(char* buffer, std::size_t size, uint64_t mask) {
  if (buffer == nullptr || size == 0) return 0;
  GroupTable& groups = Groups();
  std::lock_guard<std::mutex> guard(groups.lock);
  Output out{buffer, size - 1};
  for (std::size_t i = 0; i < kGroupCount; ++i) {
    if ((mask & (uint64_t{1} << i)) == 0) continue;
    if (out.length > 0) out.Put(';');
    out.Put(groups.codes[i]);
  }
  buffer[out.length] = '\0';
  return out.length;
}

const char* ProcessName() {
  static const std::string name = [] {
    const std::string path = platform::ExecutablePath();
    const std::size_t slash = path.find_last_of("/\\");
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    return file.empty() ? std::string("<unknown>") : file;
  }();
  return name.c_str();
}

void LocalTime(LogTime* out) {
  if (out != nullptr) *out = platform::GetLocalTime();
}

std::size_t FormatTimestamp(char* buffer, std::size_t size, const LogTime* time) {
  if (buffer == nullptr || size == 0 || time == nullptr) return 0;
  return Finish(std::snprintf(buffer, size, "%04d-%02d-%02dT%02d:%02d:%02d.%03d",
                              static_cast<int>(time->year), static_cast<int>(time->month),
                              static_cast<int>(time->day), static_cast<int>(time->hour),
                              static_cast<int>(time->minute), static_cast<int>(time->second),
                              static_cast<int>(time->millisecond)),
                size);
}

std::size_t FormatFileTimestamp(char* buffer, std::size_t size, const LogTime* time) {
  if (buffer == nullptr || size == 0 || time == nullptr) return 0;
  return Finish(std::snprintf(buffer, size, "%04d-%02d-%02dT%02d-%02d-%02d",
                              static_cast<int>(time->year), static_cast<int>(time->month),
                              static_cast<int>(time->day), static_cast<int>(time->hour),
                              static_cast<int>(time->minute), static_cast<int>(time->second)),
                size);
}

std::size_t FormatLine(char* buffer, std::size_t size, const char* format,
                       const LogRecord* record) {
  if (buffer == nullptr || size == 0) return 0;
  if (size < 2 || record == nullptr) {
    buffer[0] = '\0';
    return 0;
  }
  // Two bytes stay free for the newline and the NUL.
  Output out{buffer, size - 2};
  char piece[300];
  for (const char* p = format != nullptr ? format : ""; *p != '\0'; ++p) {
    if (*p != '#') {
      out.Put(*p);
      continue;
    }
    if (*++p == '\0') break;
    switch (*p) {
      case 'D':
        FormatTimestamp(piece, sizeof piece, &record->time);
        out.Put(piece);
        break;
      case 'E':
        out.Put(ProcessName());
        break;
      case 'G':
        GroupNames(piece, sizeof piece, record->groups);
        out.Put(piece);
        break;
      case 'H': {
        const uint64_t ticks = platform::HighResolutionCounter() - ClockStart();
        const uint64_t frequency = std::max<uint64_t>(platform::HighResolutionFrequency(), 1);
        std::snprintf(piece, sizeof piece, "%06d.%03d", static_cast<int>(ticks / frequency),
                      static_cast<int>(ticks % frequency * 1000 / frequency));
        out.Put(piece);
        break;
      }
      case 'L':
        out.Put(LevelName(record->level));
        break;
      case 'M':
        out.Put(record->message);
        break;
      case 'T':
        std::snprintf(piece, sizeof piece, "%p",
                      reinterpret_cast<void*>(platform::CurrentThreadId()));
        out.Put(piece);
        break;
      default:
        out.Put(*p);
        break;
    }
  }
  if (out.length == 0 || buffer[out.length - 1] != '\n') buffer[out.length++] = '\n';
  buffer[out.length] = '\0';
  return out.length;
}

void LogVOperation(uint32_t level, uint64_t groups, const char* format, va_list arguments)
    ZVM_PRINTF_FORMAT(3, 0);
void LogVOperation(uint32_t level, uint64_t groups, const char* format, va_list arguments) {
  {
    std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
    const State& s = EnsureState();
    if (s.disabled || level < s.minimumLevel || (groups & s.mutedGroups) != 0) return;
  }
  LogRecord record;
  record.level = level;
  record.groups = groups;
  if (format == nullptr ||
      std::vsnprintf(record.message, sizeof record.message, format, arguments) < 0) {
    record.message[0] = '\0';
  }
  record.time = platform::GetLocalTime();

  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  if (state == nullptr) return;
  if (level == kLogWarning) ++state->warnings;
  if (level == kLogError) ++state->errors;
  // A target may detach itself or others (or the last reference may go)
  // while it writes, so the targets attached now are visited from a copy,
  // each only while it is still attached.
  const std::vector<LogTargetHandle*> attached = state->targets;
  for (LogTargetHandle* handle : attached) {
    if (state == nullptr) break;
    if (std::find(state->targets.begin(), state->targets.end(), handle) == state->targets.end()) {
      continue;
    }
    const LogTargetOperations& target = *handle->operations;
    if (level < target.GetMinimumLevel(handle)) continue;
    if (groups != 0) {
      const uint64_t include = target.GetIncludeMask(handle);
      if ((groups & target.GetExcludeMask(handle)) != 0) continue;
      if (include != 0 && (groups & include) == 0) continue;
    }
    target.Write(handle, &record);
  }
}

// The table is a fixed interface: 26 operations, in order.
static_assert(sizeof(LogSystemApi) == 26 * sizeof(void (*)()));

const LogSystemApi kApi = {
    InterfaceVersion,
    AddRef,
    Release,
    SetMinimumLevel,
    GetMinimumLevel,
    SetMutedGroups,
    GetMutedGroups,
    Disable,
    Enable,
    SetSecondaryFlag,
    ClearSecondaryFlag,
    AddTarget,
    RemoveTarget,
    FindTarget,
    GetStdOutTarget,
    GetStdErrTarget,
    GetDebuggerTarget,
    GroupMask,
    GroupNames,
    FormatLine,
    LevelName,
    ProcessName,
    LocalTime,
    FormatTimestamp,
    FormatFileTimestamp,
    LogVOperation,
};

}  // namespace

const LogSystemApi& LogSystem() { return kApi; }

void Log(uint32_t level, uint64_t groups, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  LogVOperation(level, groups, format, arguments);
  va_end(arguments);
}

void LogV(uint32_t level, uint64_t groups, const char* format, va_list arguments) {
  LogVOperation(level, groups, format, arguments);
}

uint32_t LogWarningCount() {
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  return EnsureState().warnings;
}

uint64_t LogErrorCount() {
  std::lock_guard<std::recursive_mutex> guard(LogSystemLock());
  return EnsureState().errors;
}

std::recursive_mutex& LogSystemLock() {
  // Never destroyed: targets may detach from static destructors.
  static NoDestructor<std::recursive_mutex> lock;
  return *lock;
}

}  // namespace Halden
