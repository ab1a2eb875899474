#include "plugin/memory_stats.h"

#include <atomic>

namespace Halden {
namespace {

std::atomic<uint64_t> peakBytes{0};
std::atomic<uint64_t> bytesAllocated{0};
std::atomic<uint64_t> allocations{0};
std::atomic<uint64_t> bytesFreed{0};
std::atomic<uint64_t> frees{0};

}  // namespace

void CountAllocation(std::size_t size) noexcept {
  uint64_t allocated = bytesAllocated.fetch_add(size) + size;
  allocations.fetch_add(1);
  uint64_t freed = bytesFreed.load();
  // A block allocated and freed on another thread meanwhile can make the
  // freed total run ahead of the allocated total read above.
  if (freed > allocated) return;
  uint64_t inUse = allocated - freed;
  uint64_t peak = peakBytes.load();
  while (inUse > peak && !peakBytes.compare_exchange_weak(peak, inUse)) {
  }
}

void CountRelease(std::size_t size) noexcept {
  bytesFreed.fetch_add(size);
  frees.fetch_add(1);
}

MemoryStats ReadMemoryStats() noexcept {
  uint64_t freedCount = frees.load();
  uint64_t allocationCount = allocations.load();
  return {peakBytes.load(),
          allocationCount - freedCount,
          bytesAllocated.load(),
          allocationCount,
          bytesFreed.load(),
          freedCount,
          0};
}

}  // namespace Halden
