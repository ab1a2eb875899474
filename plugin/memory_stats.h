// Heap allocation counters of the library, reported to the host through
// GetMemoryStats. The library's allocation hooks feed them; they are 64-bit
// atomics, updated from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Halden {

// Counts one allocation of a block whose usable size is `size`.
void CountAllocation(std::size_t size) noexcept;
// Counts one release of a block whose usable size is `size`.
void CountRelease(std::size_t size) noexcept;

// Peak bytes in use, live blocks, bytes allocated, allocations, bytes freed,
// frees, and a final 0.
struct MemoryStats {
  uint64_t peakBytesInUse;
  uint64_t liveBlocks;
  uint64_t bytesAllocated;
  uint64_t allocations;
  uint64_t bytesFreed;
  uint64_t frees;
  uint64_t reserved;
};
static_assert(sizeof(MemoryStats) == 56);

MemoryStats ReadMemoryStats() noexcept;

}  // namespace Halden
