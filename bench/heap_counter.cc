// The benchmark executable replaces the global allocation functions with
// counting ones, so that a benchmark can report heap blocks per iteration.
#include "heap_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace Halden::bench {
namespace {
std::atomic<uint64_t> heapBlocks{0};

void* Take(std::size_t size) {
  heapBlocks.fetch_add(1, std::memory_order_relaxed);
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void* TakeAligned(std::size_t size, std::align_val_t alignment) {
  heapBlocks.fetch_add(1, std::memory_order_relaxed);
  const std::size_t a = static_cast<std::size_t>(alignment);
  void* p = std::aligned_alloc(a, (size + a - 1) / a * a);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
}  // namespace

uint64_t HeapBlocks() { return heapBlocks.load(std::memory_order_relaxed); }

}  // namespace Halden::bench

using Halden::bench::Take;
using Halden::bench::TakeAligned;

void* operator new(std::size_t size) { return Take(size); }
void* operator new[](std::size_t size) { return Take(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Take(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Take(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  return TakeAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return TakeAligned(size, alignment);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
