// Watches the heap of a test binary: every operator new and delete of the
// binary goes through allocation_probe.cc, which counts the bytes live and
// can make large allocations fail.
#pragma once

#include <cstddef>

namespace Halden::testing {

// Starts a span of observation: its peak starts at the bytes live now.
void StartAllocationSpan();
// The most bytes live at once since StartAllocationSpan, above those live
// when it started.
std::size_t AllocationSpanPeak();
// Bytes allocated and not yet freed.
std::size_t AllocationLiveBytes();

// While alive, every allocation of at least `bytes` throws std::bad_alloc.
class FailingLargeAllocations {
 public:
  explicit FailingLargeAllocations(std::size_t bytes);
  ~FailingLargeAllocations();
  FailingLargeAllocations(const FailingLargeAllocations&) = delete;
  FailingLargeAllocations& operator=(const FailingLargeAllocations&) = delete;
};

}  // namespace Halden::testing
