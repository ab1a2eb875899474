#include "binding/property_arena.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "binding/arena_page_source.h"
#include "binding/property.h"
#include "tests/support/allocation_probe.h"

namespace Halden {
namespace {

// Dropped trees' arenas beyond a small pool give their memory back, string
// tables grown past their built-in buckets included.
TEST(PropertyArenaTest, MemoryBeyondWhatIsKeptGoesBack) {
  const auto trees = [] {
    std::vector<BindingProperty> roots(20);
    for (BindingProperty& root : roots) {
      for (int i = 0; i < 20; ++i) root.At(i).SetString(std::to_string(i));
    }
  };
  trees();
  const std::size_t live = testing::AllocationLiveBytes();
  trees();
  EXPECT_EQ(testing::AllocationLiveBytes(), live);
  // A released container's cell is used again: no page is taken.
  ArenaPageSource& source = ArenaPageSource::Instance();
  BindingProperty holder;
  BindingProperty& member = holder.Member("k");
  const uint64_t taken = source.GetCounters().pagesTaken;
  for (int i = 0; i < 10000; ++i) {
    member.MakeCollection();
    member.Reset();
  }
  EXPECT_EQ(source.GetCounters().pagesTaken, taken);

  // Empty regions are kept as many as were in use at once lately, from 1 MiB
  // to 16 MiB; dropped trees make that peak decay.
  constexpr unsigned kPages = ArenaPageSource::kPagesPerRegion;
  // Nothing kept from earlier tests, every free page taken: pages come by region.
  source.ReleaseKept();
  const ArenaPageSource::Counters start = source.GetCounters();
  const uint64_t free = start.regionsLive * kPages - (start.pagesTaken - start.pagesReturned);
  std::vector<void*> earlier;
  for (uint64_t i = 0; i < free; ++i) earlier.push_back(source.TakePage());
  ASSERT_EQ(source.GetCounters().regionsKept, 0u);
  const uint64_t inUse = source.GetCounters().regionsLive;
  auto takeRegions = [&](unsigned count) {
    std::vector<void*> pages;
    for (unsigned i = 0; i < count * kPages; ++i) pages.push_back(source.TakePage());
    return pages;
  };
  auto giveBack = [&](const std::vector<void*>& pages) {
    for (void* page : pages) source.ReturnPage(page);
  };
  // A page given back to a full region is the next one taken.
  const std::vector<void*> full = takeRegions(1);
  source.ReturnPage(full[5]);
  EXPECT_EQ(source.TakePage(), full[5]);
  giveBack(full);
  giveBack(takeRegions(40));
  EXPECT_EQ(source.GetCounters().regionsKept, 40u);
  // The next pages come from a kept region.
  const ArenaPageSource::Counters kept = source.GetCounters();
  void* next = source.TakePage();
  EXPECT_EQ(source.GetCounters().regionsReserved, kept.regionsReserved);
  source.ReturnPage(next);
  // Small trees for a while: the peak decays back to 1 MiB (or what is in use).
  for (uint32_t i = 0; i < 4 * ArenaPageSource::kTreesPerDecay; ++i)
    BindingProperty().MakeCollection();
  EXPECT_EQ(source.GetCounters().regionsKept,
            std::min<uint64_t>(40, std::max<uint64_t>(ArenaPageSource::kMinKeptRegions, inUse)));
  // Never more than 16 MiB.
  giveBack(takeRegions(300));
  EXPECT_EQ(source.GetCounters().regionsKept, ArenaPageSource::kMaxKeptRegions);
  // A peak above the floor halves, not more, at each decay.
  for (uint32_t i = 0; i < 2 * ArenaPageSource::kTreesPerDecay; ++i)
    BindingProperty().MakeCollection();
  EXPECT_EQ(source.GetCounters().regionsKept, std::max<uint64_t>(inUse, (inUse + 300) / 4));
  // Before the library goes, nothing is kept.
  source.ReleaseKept();
  EXPECT_EQ(source.GetCounters().regionsKept, 0u);
  EXPECT_EQ(source.GetCounters().regionsLive, inUse);
  giveBack(earlier);
}

}  // namespace
}  // namespace Halden
