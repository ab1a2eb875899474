// The memory of one property tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <utility>

#include "binding/arena_page_source.h"
#include "binding/interned_string.h"

namespace Halden {

// Everything small of one BindingProperty tree lives in the tree's arena: the
// cells behind strings, blobs, enumeration values, collections and
// structures, the nodes of structure maps, and the table of interned
// strings. Cells come from 18 size classes (4, 8, ... 72 bytes); each class
// starts with a 144-byte block built into the arena and adds 4096-byte pages
// from the ArenaPageSource as it fills. A page goes back to the source as
// soon as its last cell is released; destroying the arena frees the texts of
// the entries left in its table and returns every page it still holds, with
// whatever cells are left in them (objects in those cells are not destroyed).
//
// An arena belongs to one tree and is used by one thread at a time; it has
// no lock. It is created by the tree's root on the first allocation the
// tree needs and destroyed with the root.
class PropertyArena {
 public:
  static constexpr std::size_t kClassCount = 18;
  static constexpr std::size_t kMaxCellSize = 72;
  static constexpr std::size_t kBuiltinBlockSize = 144;
  static constexpr std::size_t kPageSize = ArenaPageSource::kPageSize;
  static constexpr uint32_t kInitialBucketCount = 8;

  PropertyArena();
  ~PropertyArena();
  PropertyArena(const PropertyArena&) = delete;
  // Trees come and go by the thousand, and an arena is a few kilobytes: the
  // memory of the last few arenas disposed of, by any thread, serves the
  // next ones.
  static PropertyArena* Acquire();
  static void Dispose(PropertyArena* arena) noexcept;
  // Frees the memory kept for the next trees (disposed arenas, empty page
  // regions), when the library is about to be unloaded.
  static void ReleaseKeptMemory();
  PropertyArena& operator=(const PropertyArena&) = delete;

  // A cell of at least `size` bytes (1 to kMaxCellSize), aligned to the
  // largest power of two that divides the rounded size, up to 16.
  void* Allocate(std::size_t size);
  // Gives back a cell; `size` must be the one it was allocated with.
  void Release(void* cell, std::size_t size);

  // An object of type T in a cell of its size.
  template <typename T, typename... Args>
  T* Create(Args&&... args);
  template <typename T>
  void Destroy(T* object);

  // The entry of a text with one more reference. The NUL-terminated form
  // takes the bytes up to the first NUL; the moved string keeps all of its
  // bytes, embedded NULs included; InternBytes takes exactly `size` bytes.
  // An empty or null text gives InternedString::Empty() without counting.
  InternedString* Intern(const char* text);
  InternedString* Intern(std::string&& text);
  InternedString* InternBytes(const char* data, std::size_t size);
  // InternBytes for bytes whose FNV-1a hash is known.
  InternedString* InternHashed(const char* data, std::size_t size, uint32_t hash);
  // One more reference to an entry of this arena (or the empty entry).
  static InternedString* Retain(InternedString* entry);
  // Drops one reference; the entry is removed when none is left. The empty
  // entry is left alone.
  void Unref(InternedString* entry);
  // Entries in the string table.
  std::size_t StringCount() const { return stringCount; }

 private:
  // Header of a built-in block or a page, followed by slots of the class
  // size. Released slots are chained through their first two bytes by index;
  // index 0 is covered by the header and so ends the chain. Slots from
  // `fresh` on have never been handed out and are not chained, so that a new
  // block costs no pass over its slots.
  struct BlockHeader {
    BlockHeader* next;
    BlockHeader* prev;
    uint16_t size;
    uint16_t used;
    uint16_t freeHead;
    uint16_t fresh;
  };
  // Blocks with a free slot, and blocks without one (kept so that the
  // arena's destruction can find every page).
  struct SizeClass {
    BlockHeader* open = nullptr;
    BlockHeader* full = nullptr;
  };

  static std::size_t ClassOf(std::size_t size) { return (size + 3) / 4 - 1; }
  static std::size_t CellSize(std::size_t sizeClass) { return (sizeClass + 1) * 4; }
  static bool HasFreshSlot(const BlockHeader* block, std::size_t cellSize);
  static void Link(BlockHeader*& list, BlockHeader* block);
  static void Unlink(BlockHeader*& list, BlockHeader* block);

  static BlockHeader* Format(void* memory, std::size_t blockSize, std::size_t cellSize);
  BlockHeader* AddBlock(std::size_t sizeClass);
  void ReleasePage(std::size_t sizeClass, BlockHeader* block);

  InternedString* Find(const char* data, std::size_t size, uint32_t hash) const;
  InternedString* Insert(std::string&& text, uint32_t hash);
  void Remove(InternedString* entry);
  void Rehash(uint32_t newBucketCount);

  SizeClass classes[kClassCount];
  uint32_t builtinFormatted = 0;  // bit per class whose built-in block is in use
  uint32_t bucketCount = kInitialBucketCount;
  uint32_t stringCount = 0;
  InternedString** buckets = initialBuckets;
  // The table starts in the arena itself, so that a small tree's strings
  // take no cell for it.
  InternedString* initialBuckets[kInitialBucketCount] = {};
  alignas(16) unsigned char builtin[kClassCount][kBuiltinBlockSize];
};

// A standard allocator drawing from a PropertyArena: requests up to
// kMaxCellSize bytes take a cell, larger ones (grown hash bucket arrays) use
// the general heap.
template <typename T>
class ArenaAllocator {
 public:
  using value_type = T;

  explicit ArenaAllocator(PropertyArena* owner) noexcept : arena(owner) {}
  template <typename U>
  ArenaAllocator(const ArenaAllocator<U>& other) noexcept : arena(other.arena) {}

  T* allocate(std::size_t n) {
    if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
    const std::size_t bytes = n * sizeof(T);
    if (bytes <= PropertyArena::kMaxCellSize) return static_cast<T*>(arena->Allocate(bytes));
    return static_cast<T*>(::operator new(bytes));
  }
  void deallocate(T* p, std::size_t n) noexcept {
    const std::size_t bytes = n * sizeof(T);
    if (bytes <= PropertyArena::kMaxCellSize) {
      arena->Release(p, bytes);
    } else {
      ::operator delete(p);
    }
  }

  template <typename U>
  bool operator==(const ArenaAllocator<U>& other) const noexcept {
    return arena == other.arena;
  }

  PropertyArena* arena;
};

inline void* PropertyArena::Allocate(std::size_t size) {
  const std::size_t sizeClass = ClassOf(size);
  const std::size_t cellSize = CellSize(sizeClass);
  SizeClass& sc = classes[sizeClass];
  BlockHeader* block = sc.open != nullptr ? sc.open : AddBlock(sizeClass);
  unsigned char* const base = reinterpret_cast<unsigned char*>(block);
  unsigned char* slot;
  if (block->freeHead != 0) {
    slot = base + block->freeHead * cellSize;
    std::memcpy(&block->freeHead, slot, sizeof block->freeHead);
  } else {
    slot = base + block->fresh * cellSize;
    ++block->fresh;
  }
  ++block->used;
  if (block->freeHead == 0 && !HasFreshSlot(block, cellSize)) {
    Unlink(sc.open, block);
    Link(sc.full, block);
  }
  return slot;
}

inline void PropertyArena::Release(void* cell, std::size_t size) {
  const std::size_t sizeClass = ClassOf(size);
  const std::size_t cellSize = CellSize(sizeClass);
  SizeClass& sc = classes[sizeClass];
  const uintptr_t address = reinterpret_cast<uintptr_t>(cell);
  const uintptr_t own = reinterpret_cast<uintptr_t>(builtin[sizeClass]);
  const bool inBuiltin = address - own < kBuiltinBlockSize;
  const uintptr_t base = inBuiltin ? own : address & ~static_cast<uintptr_t>(kPageSize - 1);
  BlockHeader* block = reinterpret_cast<BlockHeader*>(base);
  if (block->freeHead == 0 && !HasFreshSlot(block, cellSize)) {
    Unlink(sc.full, block);
    Link(sc.open, block);
  }
  std::memcpy(cell, &block->freeHead, sizeof block->freeHead);
  block->freeHead = static_cast<uint16_t>((address - base) / cellSize);
  --block->used;
  if (block->used == 0 && !inBuiltin) ReleasePage(sizeClass, block);
}

inline bool PropertyArena::HasFreshSlot(const BlockHeader* block, std::size_t cellSize) {
  return (block->fresh + std::size_t{1}) * cellSize <= block->size;
}

inline void PropertyArena::Link(BlockHeader*& list, BlockHeader* block) {
  block->prev = nullptr;
  block->next = list;
  if (list != nullptr) list->prev = block;
  list = block;
}

inline void PropertyArena::Unlink(BlockHeader*& list, BlockHeader* block) {
  if (block->prev != nullptr) {
    block->prev->next = block->next;
  } else {
    list = block->next;
  }
  if (block->next != nullptr) block->next->prev = block->prev;
}

template <typename T, typename... Args>
T* PropertyArena::Create(Args&&... args) {
  static_assert(sizeof(T) <= kMaxCellSize && alignof(T) <= 16);
  void* cell = Allocate(sizeof(T));
  try {
    return new (cell) T(std::forward<Args>(args)...);
  } catch (...) {
    Release(cell, sizeof(T));
    throw;
  }
}

template <typename T>
void PropertyArena::Destroy(T* object) {
  object->~T();
  Release(object, sizeof(T));
}

inline InternedString* PropertyArena::Retain(InternedString* entry) {
  if (entry != InternedString::Empty()) ++entry->refCount;
  return entry;
}

inline void PropertyArena::Unref(InternedString* entry) {
  if (entry == InternedString::Empty()) return;
  if (--entry->refCount == 0) Remove(entry);
}

}  // namespace Halden
