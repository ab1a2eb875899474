#include "logging/log_level.h"

namespace Halden {

const char* LevelName(uint32_t level) {
  static const char* const kNames[] = {"  OKAY", "  WARN", " ERROR", "ALWAYS"};
  return level <= kLogAlways ? kNames[level] : "  ????";
}

}  // namespace Halden
