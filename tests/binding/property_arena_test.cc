#include "binding/property_arena.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "binding/arena_page_source.h"
#include "binding/property.h"
#include "tests/support/allocation_probe.h"

namespace Halden {
namespace {

uint64_t PagesTaken() { return ArenaPageSource::Instance().GetCounters().pagesTaken; }
uint64_t PagesReturned() { return ArenaPageSource::Instance().GetCounters().pagesReturned; }

TEST(PropertyArenaTest, FortyByteCellsFillBuiltInBlockThenOnePage) {
  PropertyArena arena;
  const uint64_t taken = PagesTaken();
  const uint64_t returned = PagesReturned();
  std::vector<void*> cells;
  // The 144-byte block has three 40-byte slots, the first under the header.
  cells.push_back(arena.Allocate(40));
  cells.push_back(arena.Allocate(40));
  EXPECT_EQ(PagesTaken(), taken);
  cells.push_back(arena.Allocate(40));
  EXPECT_EQ(PagesTaken(), taken + 1);
  // A page has 4096 / 40 = 102 slots, again the first under the header.
  while (cells.size() < 2 + 101) cells.push_back(arena.Allocate(40));
  EXPECT_EQ(PagesTaken(), taken + 1);
  cells.push_back(arena.Allocate(40));
  EXPECT_EQ(PagesTaken(), taken + 2);

  for (void* cell : cells) arena.Release(cell, 40);
  EXPECT_EQ(PagesReturned(), returned + 2);
}

TEST(PropertyArenaTest, CellsOfEveryClassAreDistinctAlignedAndReusable) {
  PropertyArena arena;
  const uint64_t returned = PagesReturned();
  const uint64_t taken = PagesTaken();
  for (std::size_t size = 1; size <= PropertyArena::kMaxCellSize; ++size) {
    SCOPED_TRACE(size);
    const std::size_t rounded = (size + 3) / 4 * 4;
    const std::size_t alignment = rounded & (~rounded + 1);  // lowest set bit
    std::vector<unsigned char*> cells;
    for (int i = 0; i < 300; ++i) {
      auto* cell = static_cast<unsigned char*>(arena.Allocate(size));
      ASSERT_EQ(reinterpret_cast<uintptr_t>(cell) % (alignment < 16 ? alignment : 16), 0u);
      std::memset(cell, i & 0xFF, size);
      cells.push_back(cell);
    }
    // Free every other cell, allocate again, and check no cell was clobbered.
    for (std::size_t i = 0; i < cells.size(); i += 2) arena.Release(cells[i], size);
    for (std::size_t i = 0; i < cells.size(); i += 2) {
      cells[i] = static_cast<unsigned char*>(arena.Allocate(size));
      std::memset(cells[i], static_cast<int>(i & 0xFF), size);
    }
    for (std::size_t i = 0; i < cells.size(); ++i) {
      for (std::size_t b = 0; b < size; ++b) ASSERT_EQ(cells[i][b], i & 0xFF);
    }
    for (unsigned char* cell : cells) arena.Release(cell, size);
  }
  EXPECT_EQ(PagesReturned() - returned, PagesTaken() - taken);
}

TEST(PropertyArenaTest, DestructionReturnsEveryPageAndAGrownTableFirst) {
  const uint64_t returned = PagesReturned();
  const uint64_t taken = PagesTaken();
  const std::size_t live = testing::AllocationLiveBytes();
  {
    PropertyArena arena;
    for (int i = 0; i < 500; ++i) arena.Allocate(72);
    // The built-in block's one 64-byte slot is taken, so a 64-byte table
    // (16 buckets where pointers have 4 bytes) goes into a page.
    arena.Allocate(64);
    for (int i = 0; i < 9; ++i) arena.Intern(std::to_string(i).c_str());
    arena.Intern("a text too long to be kept inside its string");  // freed with the arena
  }
  EXPECT_EQ(testing::AllocationLiveBytes(), live);
  EXPECT_GT(PagesTaken(), taken);
  EXPECT_EQ(PagesReturned() - returned, PagesTaken() - taken);
}

// Dropped trees leave their arenas' memory in a small pool for the next
// ones; beyond it the memory goes back.
TEST(PropertyArenaTest, ArenasBeyondThePoolAreFreed) {
  const auto trees = [] {
    std::vector<BindingProperty> roots(20);
    for (BindingProperty& root : roots) root.MakeCollection();
  };
  trees();
  const std::size_t live = testing::AllocationLiveBytes();
  trees();
  EXPECT_EQ(testing::AllocationLiveBytes(), live);
}

TEST(PropertyArenaTest, InterningSharesOneCountedEntryPerText) {
  PropertyArena arena;
  InternedString* a = arena.Intern("name");
  EXPECT_EQ(arena.Intern(std::string("name")), a);
  EXPECT_EQ(arena.InternBytes("name!", 4), a);
  EXPECT_EQ(a->RefCount(), 3u);
  EXPECT_EQ(a->Hash(), 0x8D39BDE6u);  // FNV-1a
  // Texts with an embedded NUL are equal only when wholly equal, and hash
  // up to the NUL.
  InternedString* ab = arena.Intern(std::string("a\0b", 3));
  InternedString* ac = arena.Intern(std::string("a\0c", 3));
  EXPECT_NE(ab, ac);
  EXPECT_NE(ab, arena.Intern("a"));
  EXPECT_EQ(ab->Hash(), 0xE40C292Cu);
  EXPECT_EQ(arena.StringCount(), 4u);
  arena.Unref(a);
  arena.Unref(a);
  EXPECT_EQ(a->Text(), "name");
  arena.Unref(a);
  EXPECT_EQ(arena.StringCount(), 3u);
  // Empty and null texts map to the static entry, which is never counted.
  InternedString* empty = InternedString::Empty();
  EXPECT_EQ(arena.Intern(static_cast<const char*>(nullptr)), empty);
  EXPECT_EQ(arena.Intern(std::string()), empty);
  EXPECT_EQ(arena.InternBytes("x", 0), empty);
  arena.Unref(empty);
  EXPECT_EQ(empty->RefCount(), 0u);
}

TEST(PropertyArenaTest, TableGrowsAndKeepsEveryEntry) {
  PropertyArena arena;
  std::vector<InternedString*> entries;
  for (int i = 0; i < 2000; ++i) entries.push_back(arena.Intern(std::to_string(i).c_str()));
  for (int i = 0; i < 2000; ++i) {
    ASSERT_EQ(arena.Intern(std::to_string(i).c_str()), entries[i]);
    arena.Unref(entries[i]);
    arena.Unref(entries[i]);
  }
  EXPECT_EQ(arena.StringCount(), 0u);
}

// Empty regions are kept as many as were in use at once lately, from 1 MiB
// to 16 MiB; dropped trees make that peak decay, and the excess goes back.
TEST(ArenaPageSourceTest, KeptRegionsFollowTheRecentPeak) {
  ArenaPageSource& source = ArenaPageSource::Instance();
  constexpr unsigned kPages = ArenaPageSource::kPagesPerRegion;
  // Take every free page there is (kept regions included), then whole new
  // regions: pages come region by region from then on.
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

  // Small trees for a while: back to 1 MiB (or what is in use).
  for (uint32_t i = 0; i < 4 * ArenaPageSource::kTreesPerDecay; ++i) {
    BindingProperty().MakeCollection();
  }
  EXPECT_EQ(source.GetCounters().regionsKept,
            std::min<uint64_t>(40, std::max<uint64_t>(ArenaPageSource::kMinKeptRegions, inUse)));

  // Never more than 16 MiB.
  giveBack(takeRegions(300));
  EXPECT_EQ(source.GetCounters().regionsKept, ArenaPageSource::kMaxKeptRegions);

  // Before the library goes, nothing is kept.
  source.ReleaseKept();
  EXPECT_EQ(source.GetCounters().regionsKept, 0u);
  EXPECT_EQ(source.GetCounters().regionsLive, inUse);
  giveBack(earlier);
}

}  // namespace
}  // namespace Halden
