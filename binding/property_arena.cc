#include "binding/property_arena.h"

#include <algorithm>
#include <atomic>
#include <bit>

#include "util/no_destructor.h"

namespace Halden {

// Not constinit, like kEmptyString: its std::string may be built at start-up.
InternedString InternedString::emptyEntry;

namespace {

// Memory of disposed arenas, shared by every thread. Not per thread: a
// thread-local cache would have to give its memory back at thread exit, and
// where thread-local storage is emulated (MinGW) that storage may already be
// freed when its destructor runs. Never destroyed, like the page source:
// trees in static storage may be dropped during exit.
//
// Every request, response and event takes and gives back arenas, so the
// slots are taken and filled by atomic exchange, without a lock: a block is
// in at most one slot, and a slot found empty or full by another thread is
// simply passed over.
class ArenaMemoryPool {
 public:
  static ArenaMemoryPool& Instance() {
    static NoDestructor<ArenaMemoryPool> instance;
    return *instance;
  }
  void* Take() {
    for (std::atomic<void*>& slot : slots) {
      if (slot.load(std::memory_order_relaxed) == nullptr) continue;
      if (void* memory = slot.exchange(nullptr, std::memory_order_acquire)) return memory;
    }
    return nullptr;
  }
  bool Keep(void* memory) {
    for (std::atomic<void*>& slot : slots) {
      void* empty = nullptr;
      if (slot.load(std::memory_order_relaxed) == nullptr &&
          slot.compare_exchange_strong(empty, memory, std::memory_order_release)) {
        return true;
      }
    }
    return false;
  }

 private:
  std::atomic<void*> slots[8] = {};
};

}  // namespace

PropertyArena* PropertyArena::Acquire() {
  void* memory = ArenaMemoryPool::Instance().Take();
  if (memory == nullptr) memory = ::operator new(sizeof(PropertyArena));
  return new (memory) PropertyArena();
}

void PropertyArena::Dispose(PropertyArena* arena) noexcept {
  if (arena == nullptr) return;
  arena->~PropertyArena();
  if (!ArenaMemoryPool::Instance().Keep(arena)) ::operator delete(arena);
  ArenaPageSource::Instance().NoteTreeDropped();
}

void PropertyArena::ReleaseKeptMemory() {
  while (void* memory = ArenaMemoryPool::Instance().Take()) ::operator delete(memory);
  ArenaPageSource::Instance().ReleaseKept();
}

// Defaulted here rather than in the class, so that `new PropertyArena()`
// does not zero the built-in blocks first.
PropertyArena::PropertyArena() = default;

PropertyArena::~PropertyArena() {
  // Entries still in the table (a tree's root discards its tree without
  // releasing them one by one) free their texts; their cells go with the pages.
  for (uint32_t b = 0; b < bucketCount; ++b) {
    for (InternedString* entry = buckets[b]; entry != nullptr;) {
      InternedString* next = entry->next;
      entry->~InternedString();
      entry = next;
    }
  }
  // A grown table small enough for a cell (16 buckets of 4-byte pointers)
  // may lie in a page, so it goes back before the pages do.
  if (buckets != initialBuckets) {
    ArenaAllocator<InternedString*>(this).deallocate(buckets, bucketCount);
  }
  // Every page still held goes back, whatever cells are left in it. Only a
  // class whose built-in block was used can have taken pages.
  for (uint32_t used = builtinFormatted; used != 0; used &= used - 1) {
    const int c = std::countr_zero(used);
    for (BlockHeader* list : {classes[c].open, classes[c].full}) {
      while (list != nullptr) {
        BlockHeader* next = list->next;
        if (list->size == kPageSize) ArenaPageSource::Instance().ReturnPage(list);
        list = next;
      }
    }
  }
}

PropertyArena::BlockHeader* PropertyArena::Format(void* memory, std::size_t blockSize,
                                                  std::size_t cellSize) {
  BlockHeader* block = new (memory) BlockHeader{};
  block->size = static_cast<uint16_t>(blockSize);
  block->fresh = static_cast<uint16_t>((sizeof(BlockHeader) + cellSize - 1) / cellSize);
  return block;
}

PropertyArena::BlockHeader* PropertyArena::AddBlock(std::size_t sizeClass) {
  const uint32_t bit = 1u << sizeClass;
  BlockHeader* block;
  // Built-in blocks are formatted on first use so that a small tree only
  // touches the classes it needs.
  if ((builtinFormatted & bit) == 0) {
    block = Format(builtin[sizeClass], kBuiltinBlockSize, CellSize(sizeClass));
    builtinFormatted |= bit;
  } else {
    block = Format(ArenaPageSource::Instance().TakePage(), kPageSize, CellSize(sizeClass));
  }
  Link(classes[sizeClass].open, block);
  return block;
}

void PropertyArena::ReleasePage(std::size_t sizeClass, BlockHeader* block) {
  Unlink(classes[sizeClass].open, block);
  ArenaPageSource::Instance().ReturnPage(block);
}

InternedString* PropertyArena::Intern(const char* text) {
  if (text == nullptr || *text == '\0') return InternedString::Empty();
  // Length and hash in one pass.
  uint32_t hash = kFnv1aOffsetBasis;
  std::size_t size = 0;
  for (; text[size] != '\0'; ++size) {
    hash = (hash ^ static_cast<unsigned char>(text[size])) * kFnv1aPrime;
  }
  if (InternedString* entry = Find(text, size, hash)) return Retain(entry);
  return Insert(std::string(text, size), hash);
}

InternedString* PropertyArena::Intern(std::string&& text) {
  if (text.empty()) return InternedString::Empty();
  const uint32_t hash = Fnv1a(text.data(), text.size());
  if (InternedString* entry = Find(text.data(), text.size(), hash)) return Retain(entry);
  return Insert(std::move(text), hash);
}

InternedString* PropertyArena::InternBytes(const char* data, std::size_t size) {
  if (size == 0) return InternedString::Empty();
  const uint32_t hash = Fnv1a(data, size);
  if (InternedString* entry = Find(data, size, hash)) return Retain(entry);
  return Insert(std::string(data, size), hash);
}

InternedString* PropertyArena::InternHashed(const char* data, std::size_t size, uint32_t hash) {
  if (size == 0) return InternedString::Empty();
  if (InternedString* entry = Find(data, size, hash)) return Retain(entry);
  return Insert(std::string(data, size), hash);
}

InternedString* PropertyArena::Find(const char* data, std::size_t size, uint32_t hash) const {
  // The hash stops at a NUL, so equal hashes do not mean equal texts: the
  // whole length and every byte decide.
  for (InternedString* entry = buckets[hash & (bucketCount - 1)]; entry != nullptr;
       entry = entry->next) {
    if (entry->hash == hash && entry->text.size() == size &&
        std::memcmp(entry->text.data(), data, size) == 0) {
      return entry;
    }
  }
  return nullptr;
}

InternedString* PropertyArena::Insert(std::string&& text, uint32_t hash) {
  if (stringCount + 1 > bucketCount) {
    Rehash(bucketCount * 2);
  }
  InternedString* entry = Create<InternedString>(std::move(text), hash);
  InternedString*& head = buckets[hash & (bucketCount - 1)];
  entry->next = head;
  head = entry;
  ++stringCount;
  return entry;
}

void PropertyArena::Remove(InternedString* entry) {
  InternedString** link = &buckets[entry->hash & (bucketCount - 1)];
  while (*link != entry) link = &(*link)->next;
  *link = entry->next;
  --stringCount;
  Destroy(entry);
}

void PropertyArena::Rehash(uint32_t newBucketCount) {
  ArenaAllocator<InternedString*> allocator(this);
  InternedString** table = allocator.allocate(newBucketCount);
  std::fill(table, table + newBucketCount, nullptr);
  for (uint32_t b = 0; b < bucketCount; ++b) {
    for (InternedString* entry = buckets[b]; entry != nullptr;) {
      InternedString* next = entry->next;
      InternedString*& head = table[entry->hash & (newBucketCount - 1)];
      entry->next = head;
      head = entry;
      entry = next;
    }
  }
  if (buckets != initialBuckets) allocator.deallocate(buckets, bucketCount);
  buckets = table;
  bucketCount = newBucketCount;
}

}  // namespace Halden
