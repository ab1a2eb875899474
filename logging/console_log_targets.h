// The console targets the logging system owns: standard error, standard
// output and the debugger's output channel. Each formats a record with its
// line format (see LogSystemApi::FormatLine) and writes the line under its
// own lock.
#pragma once

#include "logging/log_target.h"

namespace Halden {

// The base of the console targets; a console target adds Write and Flush.
class BaseConsoleLogTarget : public LogTarget {
 public:
  ~BaseConsoleLogTarget() override;

  virtual bool Write(const LogRecord& record) = 0;
  virtual void Flush() = 0;

 protected:
  explicit BaseConsoleLogTarget(const char* name);

  // Formats `record` with the target's line format into `buffer`; the caller
  // holds TargetLock().
  std::size_t FormatRecord(char* buffer, std::size_t size, const LogRecord& record) const;
};

// "StdErrLogTarget": groups DBG but not GEN, format "#E(#T): #L| #M".
class StdErrLogTarget final : public BaseConsoleLogTarget {
 public:
  StdErrLogTarget();
  ~StdErrLogTarget() override;

  bool Write(const LogRecord& record) override;
  void Flush() override;
};

// "StdOutLogTarget": groups GEN but not DBG, format "#M". With
// flush-each-line set, every line is flushed as it is written.
class StdOutLogTarget final : public BaseConsoleLogTarget {
 public:
  StdOutLogTarget();
  ~StdOutLogTarget() override;

  bool Write(const LogRecord& record) override;
  void Flush() override;

  void SetFlushEachLine(bool flush);

 private:
  bool flushEachLine = false;
};

// "DebuggerConsoleLogTarget": groups DBG, format "#E(#T): #L| #M". The
// lines reach the debugger only while one is attached.
class DebuggerConsoleLogTarget final : public BaseConsoleLogTarget {
 public:
  DebuggerConsoleLogTarget();
  ~DebuggerConsoleLogTarget() override;

  bool Write(const LogRecord& record) override;
  void Flush() override;
};

}  // namespace Halden
