// Counts every heap allocation of the library for GetMemoryStats. The link
// wraps the C allocation routines of all code in the library (the statically
// linked C++ runtime included), and the global operators new and delete
// below are private to the library.
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "plugin/memory_stats.h"

namespace {

// The size the C runtime gave a block: what the counters add and take away.
size_t BlockSize(void* block) {
#if defined(_WIN32)
  return _msize(block);
#else
  return malloc_usable_size(block);
#endif
}

}  // namespace

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* block, size_t size);
void __real_free(void* block);

void* __wrap_malloc(size_t size) {
  void* block = __real_malloc(size);
  if (block != nullptr) Halden::CountAllocation(BlockSize(block));
  return block;
}

void* __wrap_calloc(size_t count, size_t size) {
  void* block = __real_calloc(count, size);
  if (block != nullptr) Halden::CountAllocation(BlockSize(block));
  return block;
}

void* __wrap_realloc(void* block, size_t size) {
  size_t oldSize = block != nullptr ? BlockSize(block) : 0;
  void* moved = __real_realloc(block, size);
  if (moved == nullptr && size != 0) return nullptr;  // the old block is untouched
  if (block != nullptr) Halden::CountRelease(oldSize);
  if (moved != nullptr) Halden::CountAllocation(BlockSize(moved));
  return moved;
}

void __wrap_free(void* block) {
  if (block == nullptr) return;
  Halden::CountRelease(BlockSize(block));
  __real_free(block);
}

char* __wrap_strdup(const char* text) {
  size_t size = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(__wrap_malloc(size));
  if (copy != nullptr) std::memcpy(copy, text, size);
  return copy;
}

#if defined(_WIN32)
// The runtime DLL's own strdup would allocate where the hooks cannot see.
char* __wrap__strdup(const char* text) { return __wrap_strdup(text); }
#else
void* __real_aligned_alloc(size_t alignment, size_t size);
int __real_posix_memalign(void** block, size_t alignment, size_t size);

// The runtime's over-aligned operator new comes here; its delete frees.
void* __wrap_aligned_alloc(size_t alignment, size_t size) {
  void* block = __real_aligned_alloc(alignment, size);
  if (block != nullptr) Halden::CountAllocation(BlockSize(block));
  return block;
}

int __wrap_posix_memalign(void** block, size_t alignment, size_t size) {
  int error = __real_posix_memalign(block, alignment, size);
  if (error == 0) Halden::CountAllocation(BlockSize(*block));
  return error;
}
#endif
}

void* operator new(size_t size) {
  void* block = __wrap_malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void* operator new[](size_t size) { return operator new(size); }

void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return __wrap_malloc(size == 0 ? 1 : size);
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return __wrap_malloc(size == 0 ? 1 : size);
}

void operator delete(void* block) noexcept { __wrap_free(block); }
void operator delete[](void* block) noexcept { __wrap_free(block); }
void operator delete(void* block, size_t) noexcept { __wrap_free(block); }
void operator delete[](void* block, size_t) noexcept { __wrap_free(block); }
