// One log line as the logging system hands it to its targets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace Halden {

// The local time of a record: year, month, day, hour, minute, second and
// millisecond.
using LogTime = platform::LocalTime;

// The message holds at most kLogMessageSize - 1 characters; longer messages
// are cut when the record is made.
constexpr std::size_t kLogMessageSize = 4096;

struct LogRecord {
  LogTime time;
  uint32_t level;
  uint64_t groups;
  char message[kLogMessageSize];
};

}  // namespace Halden
