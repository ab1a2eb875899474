// The process-wide supplier of arena pages.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>

#include "util/no_destructor.h"

namespace Halden {

// Hands out 4096-byte pages, each aligned to 4096 bytes, cut from 64 KiB
// regions reserved from the operating system. Trees are built and dropped
// for every request, and mapping, faulting in and unmapping fresh memory for
// each would cost far more than the tree itself, so a region whose sixteen
// pages have all been returned is kept for the next trees, up to a number
// that follows the work: as many regions as were in use at once lately,
// between kMinKeptRegions (1 MiB) and kMaxKeptRegions (16 MiB). Every
// kTreesPerDecay dropped trees (NoteTreeDropped) that recent peak halves,
// down to what is in use, and kept regions beyond the new number go back:
// after a large document, the memory for the next one stays; after a while
// of small trees, 1 MiB does. A request that finds no free page takes a
// kept region before it reserves a new one, and pages of regions in use go
// first.
//
// There is one source per process (`Instance()`); it lives until the process
// ends. Every call takes the source's mutex; a failure to lock it raises
// std::system_error, a refused region raises std::bad_alloc.
class ArenaPageSource {
 public:
  static constexpr std::size_t kPageSize = 4096;
  static constexpr std::size_t kRegionSize = 64 * 1024;
  static constexpr unsigned kPagesPerRegion = kRegionSize / kPageSize;
  static constexpr unsigned kMinKeptRegions = 16;
  static constexpr unsigned kMaxKeptRegions = 256;
  static constexpr uint32_t kTreesPerDecay = 4096;

  // Running totals since the process started, for tests and benchmarks.
  struct Counters {
    uint64_t pagesTaken = 0;
    uint64_t pagesReturned = 0;
    uint64_t regionsReserved = 0;
    uint64_t regionsReleased = 0;
    uint64_t regionsLive = 0;
    uint64_t regionsKept = 0;  // empty regions held for reuse, counted in regionsLive
  };

  static ArenaPageSource& Instance();

  ArenaPageSource(const ArenaPageSource&) = delete;
  ArenaPageSource& operator=(const ArenaPageSource&) = delete;

  void* TakePage();
  // `page` must come from TakePage and not have been returned since.
  void ReturnPage(void* page);
  // Counts a tree dropped; every kTreesPerDecay of them the recent peak
  // decays. Takes the mutex only then.
  void NoteTreeDropped();
  // Gives every kept region back to the system, when the library is about
  // to be unloaded.
  void ReleaseKept();

  Counters GetCounters() const;

 private:
  struct Region {
    uintptr_t base = 0;
    uint16_t freePages = 0;  // bit i set: page i is free
    Region* prevWithFree = nullptr;
    Region* nextWithFree = nullptr;
  };

  friend class NoDestructor<ArenaPageSource>;
  ArenaPageSource() = default;

  Region& ReserveRegion();
  unsigned KeepLimit() const;
  void ReleaseRegion(Region& region);
  // Releases kept regions until at most `limit` are kept.
  void TrimKept(unsigned limit);
  void LinkWithFree(Region& region);
  void UnlinkWithFree(Region& region);

  mutable std::mutex mutex;
  // Regions by base address; a page's region is the last one at or below it.
  std::map<uintptr_t, Region> regions;
  Region* withFree = nullptr;  // regions in use that have at least one free page
  Region* kept = nullptr;      // empty regions, linked through nextWithFree
  Counters counters;
  // The most regions in use at once lately.
  uint64_t recentPeak = 0;
  std::atomic<uint32_t> treesDropped{0};
};

}  // namespace Halden
