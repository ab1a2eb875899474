// The development host's terminal: one line at a time from any thread, each
// with its level, as the plugin's log lines show them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "logging/log_level.h"

namespace Halden::devhost {

class Terminal {
 public:
  // Writes to `out`; a quiet terminal drops the OKAY and WARN lines and
  // keeps the errors and the ALWAYS lines, which are meant to show whatever
  // the setting (the host's own start and stop lines among them).
  Terminal(std::FILE* out, bool quiet) : out(out), quiet(quiet) {}

  // "<level name>| <text>", the level named as log lines name it ("  OKAY",
  // "  WARN", " ERROR", "ALWAYS"), control characters of the text shown as
  // "?" and what is not UTF-8 in it replaced; flushed at once, so a reader
  // of a pipe sees each line as it happens.
  void Line(uint32_t level, const std::string& text);
  // Whether a line of `level` would show, for callers whose text costs.
  bool Shows(uint32_t level) const { return !quiet || level >= kLogError; }

 private:
  std::mutex lock;
  std::FILE* out;
  bool quiet;
};

}  // namespace Halden::devhost
