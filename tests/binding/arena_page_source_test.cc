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

TEST(ArenaPageSourceTest, SixteenEmptyRegionsAreKeptAndTheNextIsReleased) {
  ArenaPageSource& source = ArenaPageSource::Instance();
  constexpr unsigned kPages = ArenaPageSource::kPagesPerRegion;
  constexpr unsigned kRegions = ArenaPageSource::kKeptRegions + 1;
  // Take every free page there is (kept regions included), then whole new
  // regions: pages come region by region from then on.
  const Counters start = source.GetCounters();
  const uint64_t free = start.regionsLive * kPages - (start.pagesTaken - start.pagesReturned);
  std::vector<void*> earlier;
  for (uint64_t i = 0; i < free; ++i) earlier.push_back(source.TakePage());
  EXPECT_EQ(source.GetCounters().regionsKept, 0u);
  std::vector<void*> pages;
  for (unsigned i = 0; i < kRegions * kPages; ++i) pages.push_back(source.TakePage());
  const Counters full = source.GetCounters();
  EXPECT_EQ(full.regionsReserved, start.regionsReserved + kRegions);

  for (unsigned i = 0; i < (kRegions - 1) * kPages; ++i) source.ReturnPage(pages[i]);
  const Counters kept = source.GetCounters();
  EXPECT_EQ(kept.regionsKept, ArenaPageSource::kKeptRegions);
  EXPECT_EQ(kept.regionsReleased, full.regionsReleased);
  for (unsigned i = (kRegions - 1) * kPages; i < pages.size(); ++i) source.ReturnPage(pages[i]);
  const Counters released = source.GetCounters();
  EXPECT_EQ(released.regionsReleased, full.regionsReleased + 1);
  EXPECT_EQ(released.regionsLive, full.regionsLive - 1);

  // The next page comes from a kept region.
  void* next = source.TakePage();
  EXPECT_EQ(source.GetCounters().regionsReserved, full.regionsReserved);
  EXPECT_EQ(source.GetCounters().regionsKept, ArenaPageSource::kKeptRegions - 1);
  source.ReturnPage(next);
  for (void* page : earlier) source.ReturnPage(page);
}

}  // namespace
}  // namespace Halden
