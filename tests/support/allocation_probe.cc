#include "tests/support/allocation_probe.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace Halden::testing {
namespace {

// Each block carries its size in front, kept at the alignment new promises.
constexpr std::size_t kHeader = __STDCPP_DEFAULT_NEW_ALIGNMENT__;

std::atomic<std::size_t> live{0};
std::atomic<std::size_t> spanBase{0};
std::atomic<std::size_t> spanPeak{0};
std::atomic<std::size_t> failFrom{0};

void* Allocate(std::size_t size) {
  const std::size_t limit = failFrom.load(std::memory_order_relaxed);
  if (limit != 0 && size >= limit) throw std::bad_alloc();
  auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (block == nullptr) throw std::bad_alloc();
  *reinterpret_cast<std::size_t*>(block) = size;
  const std::size_t now = live.fetch_add(size, std::memory_order_relaxed) + size;
  std::size_t peak = spanPeak.load(std::memory_order_relaxed);
  while (now > peak && !spanPeak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
  return block + kHeader;
}

void Release(void* pointer) noexcept {
  if (pointer == nullptr) return;
  auto* block = static_cast<unsigned char*>(pointer) - kHeader;
  live.fetch_sub(*reinterpret_cast<std::size_t*>(block), std::memory_order_relaxed);
  std::free(block);
}

}  // namespace

void StartAllocationSpan() {
  spanBase = live.load();
  spanPeak = spanBase.load();
}

std::size_t AllocationSpanPeak() { return spanPeak.load() - spanBase.load(); }

std::size_t AllocationLiveBytes() { return live.load(); }

FailingLargeAllocations::FailingLargeAllocations(std::size_t bytes) { failFrom = bytes; }
FailingLargeAllocations::~FailingLargeAllocations() { failFrom = 0; }

}  // namespace Halden::testing

// Every form the library may call, so that no block of another allocator
// reaches these deletes (a sanitizer's runtime has its own nothrow form).
void* operator new(std::size_t size) { return Halden::testing::Allocate(size); }
void* operator new[](std::size_t size) { return Halden::testing::Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Halden::testing::Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& nothrow) noexcept {
  return operator new(size, nothrow);
}
void operator delete(void* pointer) noexcept { Halden::testing::Release(pointer); }
void operator delete[](void* pointer) noexcept { Halden::testing::Release(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { Halden::testing::Release(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { Halden::testing::Release(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept {
  Halden::testing::Release(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
  Halden::testing::Release(pointer);
}
