// Log targets: where the logging system sends the records that pass its
// filters. The system knows targets only through their flat handles.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "logging/log_record.h"

namespace Halden {

class LogTarget;
struct LogTargetHandle;

// The operations of a target's handle, in this order. `Write` returns false
// when the target writes nothing.
//
//   InterfaceVersion  always 1
//   SetMinimumLevel   records below it are not written
//   SetMasks          include and exclude group masks (see LogSystemApi::LogV)
//   GetName, GetFormat  the target's name and line format
//   Attach, Detach    add the target to / remove it from the system's list
struct LogTargetOperations {
  uint32_t (*InterfaceVersion)(LogTargetHandle* handle);
  void (*SetMinimumLevel)(LogTargetHandle* handle, uint32_t level);
  uint32_t (*GetMinimumLevel)(LogTargetHandle* handle);
  void (*SetMasks)(LogTargetHandle* handle, uint64_t include, uint64_t exclude);
  uint64_t (*GetIncludeMask)(LogTargetHandle* handle);
  uint64_t (*GetExcludeMask)(LogTargetHandle* handle);
  const char* (*GetName)(LogTargetHandle* handle);
  const char* (*GetFormat)(LogTargetHandle* handle);
  void (*Attach)(LogTargetHandle* handle);
  void (*Detach)(LogTargetHandle* handle);
  bool (*IsAttached)(LogTargetHandle* handle);
  bool (*Write)(LogTargetHandle* handle, const LogRecord* record);
};

// A target's flat handle: its operation table and the target it belongs to.
// It lives as long as the target.
struct LogTargetHandle {
  const LogTargetOperations* operations;
  LogTarget* target;

  void Attach() { operations->Attach(this); }
  void Detach() { operations->Detach(this); }
  bool IsAttached() { return operations->IsAttached(this); }
  const char* Name() { return operations->GetName(this); }
};

// The base of every target: a name, a minimum level (initially 1), include
// and exclude group masks (initially 0) and a line format (initially
// "#D| #L| #G| #M", see LogSystemApi::FormatLine). A plain LogTarget writes
// nothing.
//
// A target that writes passes a write function to the protected constructor;
// the handle's Write calls it while the system holds its lock. Such a target
// must call Detach() first thing in its own destructor, so that no record
// reaches it while it is being torn down. Destruction always detaches.
class LogTarget {
 public:
  LogTarget();
  virtual ~LogTarget();
  LogTarget(const LogTarget&) = delete;
  LogTarget& operator=(const LogTarget&) = delete;

  // Removes the target from the system's list; no record reaches it after
  // this returns.
  virtual void Detach();
  virtual const char* Name() const;
  // The line format. The text stays valid until the next Configure.
  virtual const char* Format() const;

  // Adds the target to the system's list once.
  void Attach();
  bool IsAttached() const;

  void SetMinimumLevel(uint32_t level);
  uint32_t MinimumLevel() const;
  void SetMasks(uint64_t include, uint64_t exclude);
  uint64_t IncludeMask() const;
  uint64_t ExcludeMask() const;

  // Sets level, masks and line format in one step and attaches the target.
  void Configure(uint32_t minimumLevel, uint64_t include, uint64_t exclude, const char* format);

  LogTargetHandle* Handle() { return &handle; }

 protected:
  using WriteFunction = bool (*)(LogTarget& target, const LogRecord& record);
  LogTarget(const char* name, WriteFunction write);

  void SetFormat(const char* format);
  // The line format, for a caller that holds TargetLock().
  const char* LineFormat() const { return format.c_str(); }
  // Guards the configuration and the target's output.
  std::mutex& TargetLock() const { return lock; }

 private:
  static const LogTargetOperations kOperations;

  const char* name;
  WriteFunction write;
  LogTargetHandle handle;
  mutable std::mutex lock;
  // Guarded by the logging system's lock, like the list it mirrors.
  bool attached = false;
  uint32_t minimumLevel = 1;
  uint64_t includeMask = 0;
  uint64_t excludeMask = 0;
  std::string format = "#D| #L| #G| #M";
};

}  // namespace Halden
