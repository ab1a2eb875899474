// The process-wide logging system. A record carries a level, a 64-bit group
// mask and a printf-style message; the system stamps it with the local time,
// filters it, counts warnings and errors and hands it to every attached
// target whose own filters accept it.
//
// Typical use:
//
//   LogSystem().AddRef();                       // keep the system alive
//   Log(kLogError, kGroupDebug, "%s", text.c_str());
//   LogSystem().Release();                      // the last one tears it down
//
// The state (three built-in targets, levels, masks, the target list) is
// created on first use. Two of the built-in targets start attached:
// "StdErrLogTarget" and "DebuggerConsoleLogTarget"; "StdOutLogTarget" does
// not.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "logging/log_group.h"
#include "logging/log_level.h"
#include "logging/log_record.h"
#include "logging/log_target.h"

#if defined(__GNUC__) || defined(__clang__)
#define ZVM_PRINTF_FORMAT(format_index, first_argument) \
  __attribute__((format(printf, format_index, first_argument)))
#else
#define ZVM_PRINTF_FORMAT(format_index, first_argument)
#endif

namespace Halden {

// The operations of the logging system, in this order.
//
// AddRef/Release: the first reference creates the state; the last one
//   detaches every target (through its handle), destroys the built-in targets
//   and the state. A Release without a reference does nothing.
// SetMinimumLevel (initially 1) and SetMutedGroups (initially 4, "XTR"):
//   records below the level or sharing a bit with the muted groups are
//   dropped before any target sees them; Disable drops every record.
// SetSecondaryFlag/ClearSecondaryFlag: a flag that nothing reads.
// AddTarget appends a handle (again if already there); RemoveTarget removes
//   every occurrence. Targets normally use their own Attach/Detach.
// FindTarget: the first attached target whose name equals `name`, or null.
// GetStdOutTarget, GetStdErrTarget, GetDebuggerTarget: the built-in targets'
//   handles, valid until the state is destroyed.
// GroupMask(code): the bit of the group whose three-character code matches
//   the first three characters of `code`; an unknown code claims the next
//   free entry of the 64-entry table. 0 when the table is full.
// GroupNames: the codes of the groups in `mask`, lowest bit first, joined by
//   ";" ("DBG;NET" for 0x41).
// FormatLine(buffer, size, format, record): the line for `record` in the
//   given line format. Directives: #D local time as FormatTimestamp, #E the
//   process name, #G GroupNames of the record's mask, #H seconds since the
//   logging clock started as "%06d.%03d", #L the level name, #M the message,
//   #T the thread identifier as "%p"; "#" before any other character gives
//   that character. The line ends with one newline (none is added when it
//   already ends with one); output that does not fit is cut, the newline and
//   the NUL always fit.
// FormatTimestamp: "%04d-%02d-%02dT%02d:%02d:%02d.%03d";
//   FormatFileTimestamp: "%04d-%02d-%02dT%02d-%02d-%02d".
// The formatting operations return the number of characters written, not
// counting the NUL, and write nothing when `size` is 0.
// LogV: see the free function below.
struct LogSystemApi {
  uint32_t (*InterfaceVersion)();
  void (*AddRef)();
  void (*Release)();
  void (*SetMinimumLevel)(uint32_t level);
  uint32_t (*GetMinimumLevel)();
  void (*SetMutedGroups)(uint64_t mask);
  uint64_t (*GetMutedGroups)();
  void (*Disable)();
  void (*Enable)();
  void (*SetSecondaryFlag)();
  void (*ClearSecondaryFlag)();
  void (*AddTarget)(LogTargetHandle* handle);
  void (*RemoveTarget)(LogTargetHandle* handle);
  LogTargetHandle* (*FindTarget)(const char* name);
  LogTargetHandle* (*GetStdOutTarget)();
  LogTargetHandle* (*GetStdErrTarget)();
  LogTargetHandle* (*GetDebuggerTarget)();
  uint64_t (*GroupMask)(const char* code);
  std::size_t (*GroupNames)(char* buffer, std::size_t size, uint64_t mask);
  std::size_t (*FormatLine)(char* buffer, std::size_t size, const char* format,
                            const LogRecord* record);
  const char* (*LevelName)(uint32_t level);
  // The executable's file name without its directory, "<unknown>" when the
  // system cannot tell.
  const char* (*ProcessName)();
  void (*LocalTime)(LogTime* out);
  std::size_t (*FormatTimestamp)(char* buffer, std::size_t size, const LogTime* time);
  std::size_t (*FormatFileTimestamp)(char* buffer, std::size_t size, const LogTime* time);
  void (*LogV)(uint32_t level, uint64_t groups, const char* format, va_list arguments);
};

const LogSystemApi& LogSystem();

// Logs one record. Dropped when the system is disabled, when `level` is below
// the minimum level or when `groups` shares a bit with the muted groups.
// Otherwise the message is formatted (cut at 4095 characters), a level 1
// record counts as a warning and a level 2 record as an error, and each
// attached target writes it unless `level` is below the target's minimum
// level or, for a non-zero `groups`, `groups` shares a bit with the target's
// exclude mask or the target has an include mask that shares none with it.
// Targets write in attach order under the system's lock, so lines of
// different threads never interleave.
void Log(uint32_t level, uint64_t groups, const char* format, ...) ZVM_PRINTF_FORMAT(3, 4);
void LogV(uint32_t level, uint64_t groups, const char* format, va_list arguments)
    ZVM_PRINTF_FORMAT(3, 0);

// The records counted as warnings and as errors since the state was created.
uint32_t LogWarningCount();
uint64_t LogErrorCount();

// The lock that guards the system's state and target list. Targets take it
// to change whether they are attached; it is recursive so that a target can
// detach while the system calls it.
std::recursive_mutex& LogSystemLock();

}  // namespace Halden
