#include "binding/arena_page_source.h"

#include <algorithm>
#include <bit>
#include <new>

#include "platform/platform.h"
#include "util/no_destructor.h"

namespace Halden {

namespace {
constexpr uint16_t kAllPagesFree = 0xFFFF;
static_assert(ArenaPageSource::kPagesPerRegion == 16);
}  // namespace

ArenaPageSource& ArenaPageSource::Instance() {
  // Never destroyed: trees held in static storage may return pages during exit.
  static NoDestructor<ArenaPageSource> instance;
  return *instance;
}

void* ArenaPageSource::TakePage() {
  std::lock_guard<std::mutex> lock(mutex);
  if (withFree == nullptr && kept != nullptr) {
    Region* spare = kept;
    kept = spare->nextWithFree;
    --counters.regionsKept;
    LinkWithFree(*spare);
  }
  Region& region = withFree != nullptr ? *withFree : ReserveRegion();
  recentPeak = std::max(recentPeak, counters.regionsLive - counters.regionsKept);
  const unsigned index = static_cast<unsigned>(std::countr_zero(region.freePages));
  region.freePages = static_cast<uint16_t>(region.freePages & ~(1u << index));
  if (region.freePages == 0) UnlinkWithFree(region);
  ++counters.pagesTaken;
  return reinterpret_cast<void*>(region.base + index * kPageSize);
}

void ArenaPageSource::ReturnPage(void* page) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(page);
  std::lock_guard<std::mutex> lock(mutex);
  auto it = std::prev(regions.upper_bound(address));
  Region& region = it->second;
  const unsigned index = static_cast<unsigned>((address - region.base) / kPageSize);
  if (region.freePages == 0) LinkWithFree(region);
  region.freePages = static_cast<uint16_t>(region.freePages | (1u << index));
  ++counters.pagesReturned;
  if (region.freePages == kAllPagesFree) {
    UnlinkWithFree(region);
    if (counters.regionsKept < KeepLimit()) {
      region.nextWithFree = kept;
      kept = &region;
      ++counters.regionsKept;
      return;
    }
    ReleaseRegion(region);
  }
}

void ArenaPageSource::NoteTreeDropped() {
  if (treesDropped.fetch_add(1, std::memory_order_relaxed) % kTreesPerDecay != kTreesPerDecay - 1) {
    return;
  }
  std::lock_guard<std::mutex> lock(mutex);
  recentPeak = std::max(counters.regionsLive - counters.regionsKept, recentPeak / 2);
  TrimKept(KeepLimit());
}

void ArenaPageSource::ReleaseKept() {
  std::lock_guard<std::mutex> lock(mutex);
  TrimKept(0);
  recentPeak = counters.regionsLive;
}

unsigned ArenaPageSource::KeepLimit() const {
  return static_cast<unsigned>(std::clamp<uint64_t>(recentPeak, kMinKeptRegions, kMaxKeptRegions));
}

void ArenaPageSource::TrimKept(unsigned limit) {
  while (counters.regionsKept > limit) {
    Region& region = *kept;
    kept = region.nextWithFree;
    --counters.regionsKept;
    ReleaseRegion(region);
  }
}

void ArenaPageSource::ReleaseRegion(Region& region) {
  const uintptr_t base = region.base;
  platform::ReleaseRegion(reinterpret_cast<void*>(base), kRegionSize);
  regions.erase(base);
  ++counters.regionsReleased;
  --counters.regionsLive;
}

ArenaPageSource::Counters ArenaPageSource::GetCounters() const {
  std::lock_guard<std::mutex> lock(mutex);
  return counters;
}

ArenaPageSource::Region& ArenaPageSource::ReserveRegion() {
  void* memory = platform::ReserveRegion(kRegionSize);
  if (memory == nullptr) throw std::bad_alloc();
  const uintptr_t base = reinterpret_cast<uintptr_t>(memory);
  Region* region;
  try {
    region = &regions[base];
  } catch (...) {
    platform::ReleaseRegion(memory, kRegionSize);
    throw;
  }
  region->base = base;
  region->freePages = kAllPagesFree;
  LinkWithFree(*region);
  ++counters.regionsReserved;
  ++counters.regionsLive;
  return *region;
}

void ArenaPageSource::LinkWithFree(Region& region) {
  region.prevWithFree = nullptr;
  region.nextWithFree = withFree;
  if (withFree != nullptr) withFree->prevWithFree = &region;
  withFree = &region;
}

void ArenaPageSource::UnlinkWithFree(Region& region) {
  if (region.prevWithFree != nullptr) {
    region.prevWithFree->nextWithFree = region.nextWithFree;
  } else {
    withFree = region.nextWithFree;
  }
  if (region.nextWithFree != nullptr) region.nextWithFree->prevWithFree = region.prevWithFree;
  region.prevWithFree = nullptr;
  region.nextWithFree = nullptr;
}

}  // namespace Halden
