// Severity levels of log records. A record is written by a target only when
// its level is at least the system's and the target's minimum level.
#pragma once

#include <cstdint>

namespace Halden {

constexpr uint32_t kLogOkay = 0;
constexpr uint32_t kLogWarning = 1;
constexpr uint32_t kLogError = 2;
constexpr uint32_t kLogAlways = 3;

// The six-character name of a level as it appears in log lines: "  OKAY",
// "  WARN", " ERROR", "ALWAYS"; levels above 3 are named "  ????".
const char* LevelName(uint32_t level);

}  // namespace Halden
