// The plugin's seven memory counters (GetMemoryStats) as the development
// host shows them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "binding/property.h"

namespace Halden::devhost {

// {"peakBytes", "liveBlocks", "bytesAllocated", "allocations", "bytesFreed",
// "frees"}; the seventh counter is always 0 and left out.
BindingProperty MemoryCountersJson(const std::vector<uint64_t>& stats);

// "peak 1234 bytes, 5 live blocks, 678 allocations of 9012 bytes, 673 frees
// of 8000 bytes"
std::string MemoryCountersText(const std::vector<uint64_t>& stats);

}  // namespace Halden::devhost
