#include "host/devhost/memory_counters.h"

namespace Halden::devhost {

BindingProperty MemoryCountersJson(const std::vector<uint64_t>& stats) {
  BindingProperty counters;
  const char* const kNames[] = {"peakBytes",   "liveBlocks", "bytesAllocated",
                                "allocations", "bytesFreed", "frees"};
  for (std::size_t i = 0; i < std::size(kNames) && i < stats.size(); ++i) {
    counters.Member(kNames[i]).SetUnsigned(stats[i]);
  }
  return counters;
}

std::string MemoryCountersText(const std::vector<uint64_t>& stats) {
  auto at = [&](std::size_t i) { return std::to_string(i < stats.size() ? stats[i] : 0); };
  return "peak " + at(0) + " bytes, " + at(1) + " live blocks, " + at(3) + " allocations of " +
         at(2) + " bytes, " + at(5) + " frees of " + at(4) + " bytes";
}

}  // namespace Halden::devhost
