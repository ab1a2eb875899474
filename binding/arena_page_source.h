// The process-wide supplier of arena pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>

namespace Halden {

// Hands out 4096-byte pages, each aligned to 4096 bytes, cut from 64 KiB
// regions reserved from the operating system. A region whose sixteen pages
// have all been returned is kept for the next trees while fewer than
// kKeptRegions empty regions are kept, and goes back to the system
// otherwise: trees are built and dropped for every request, and mapping,
// faulting in and unmapping fresh memory for each would cost far more than
// the tree itself. A request that finds no free page takes a kept region
// before it reserves a new one, and pages of regions in use go first.
//
// There is one source per process (`Instance()`); it lives until the process
// ends. Every call takes the source's mutex; a failure to lock it raises
// std::system_error, a refused region raises std::bad_alloc.
class ArenaPageSource {
 public:
  static constexpr std::size_t kPageSize = 4096;
  static constexpr std::size_t kRegionSize = 64 * 1024;
  static constexpr unsigned kPagesPerRegion = kRegionSize / kPageSize;
  static constexpr unsigned kKeptRegions = 16;

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

  Counters GetCounters() const;

 private:
  struct Region {
    uintptr_t base = 0;
    uint16_t freePages = 0;  // bit i set: page i is free
    Region* prevWithFree = nullptr;
    Region* nextWithFree = nullptr;
  };

  ArenaPageSource() = default;

  Region& ReserveRegion();
  void LinkWithFree(Region& region);
  void UnlinkWithFree(Region& region);

  mutable std::mutex mutex;
  // Regions by base address; a page's region is the last one at or below it.
  std::map<uintptr_t, Region> regions;
  Region* withFree = nullptr;  // regions in use that have at least one free page
  Region* kept = nullptr;      // empty regions, linked through nextWithFree
  Counters counters;
};

}  // namespace Halden
