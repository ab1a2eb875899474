#include "binding/arena_page_source.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace Halden {
namespace {

using Counters = ArenaPageSource::Counters;

TEST(ArenaPageSourceTest, PagesAreAlignedAndCounted) {
  ArenaPageSource& source = ArenaPageSource::Instance();
  const Counters before = source.GetCounters();
  void* a = source.TakePage();
  void* b = source.TakePage();
  EXPECT_NE(a, b);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % ArenaPageSource::kPageSize, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % ArenaPageSource::kPageSize, 0u);
  // A page is usable memory of the full size.
  static_cast<unsigned char*>(a)[ArenaPageSource::kPageSize - 1] = 1;
  source.ReturnPage(a);
  source.ReturnPage(b);
  const Counters after = source.GetCounters();
  EXPECT_EQ(after.pagesTaken - before.pagesTaken, 2u);
  EXPECT_EQ(after.pagesReturned - before.pagesReturned, 2u);
}

TEST(ArenaPageSourceTest, RegionIsReleasedWhenAllSixteenPagesReturn) {
  ArenaPageSource& source = ArenaPageSource::Instance();
  // Take pages until a new region is reserved: from then on the new region
  // is the only one with free pages.
  std::vector<void*> earlier;
  const uint64_t reserved = source.GetCounters().regionsReserved;
  void* first = source.TakePage();
  while (source.GetCounters().regionsReserved == reserved) {
    earlier.push_back(first);
    first = source.TakePage();
  }
  std::vector<void*> region{first};
  for (unsigned i = 1; i < ArenaPageSource::kPagesPerRegion; ++i) {
    region.push_back(source.TakePage());
  }
  const Counters full = source.GetCounters();
  EXPECT_EQ(full.regionsReserved, reserved + 1);
  for (unsigned i = 0; i + 1 < region.size(); ++i) source.ReturnPage(region[i]);
  EXPECT_EQ(source.GetCounters().regionsReleased, full.regionsReleased);
  source.ReturnPage(region.back());
  const Counters released = source.GetCounters();
  EXPECT_EQ(released.regionsReleased, full.regionsReleased + 1);
  EXPECT_EQ(released.regionsLive, full.regionsLive - 1);

  // Every other region is still full, so the next page needs a new region.
  void* next = source.TakePage();
  EXPECT_EQ(source.GetCounters().regionsReserved, full.regionsReserved + 1);
  source.ReturnPage(next);
  for (void* page : earlier) source.ReturnPage(page);
}

}  // namespace
}  // namespace Halden
