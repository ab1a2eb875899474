#include "binding/property_arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

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

TEST(PropertyArenaTest, DestructionReturnsPagesStillHeld) {
  const uint64_t returned = PagesReturned();
  const uint64_t taken = PagesTaken();
  {
    PropertyArena arena;
    for (int i = 0; i < 500; ++i) arena.Allocate(72);
  }
  EXPECT_GT(PagesTaken(), taken);
  EXPECT_EQ(PagesReturned() - returned, PagesTaken() - taken);
}

TEST(PropertyArenaTest, DestructionReleasesAGrownTableBeforeItsPages) {
  const uint64_t returned = PagesReturned();
  const uint64_t taken = PagesTaken();
  {
    PropertyArena arena;
    // The built-in block's one 64-byte slot is taken, so a 64-byte table
    // (16 buckets where pointers have 4 bytes) goes into a page.
    arena.Allocate(64);
    for (int i = 0; i < 9; ++i) arena.Intern(std::to_string(i).c_str());
  }
  EXPECT_EQ(PagesReturned() - returned, PagesTaken() - taken);
}

TEST(PropertyArenaTest, InterningSharesOneCountedEntry) {
  PropertyArena arena;
  InternedString* a = arena.Intern("name");
  InternedString* b = arena.Intern(std::string("name"));
  InternedString* c = arena.InternBytes("name!", 4);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, c);
  EXPECT_EQ(a->Text(), "name");
  EXPECT_EQ(a->RefCount(), 3u);
  EXPECT_EQ(arena.StringCount(), 1u);
  arena.Unref(a);
  arena.Unref(b);
  EXPECT_EQ(c->RefCount(), 1u);
  EXPECT_EQ(c->Text(), "name");
  arena.Unref(c);
  EXPECT_EQ(arena.StringCount(), 0u);
}

TEST(PropertyArenaTest, EmptyTextsMapToTheStaticEntry) {
  PropertyArena arena;
  InternedString* empty = InternedString::Empty();
  EXPECT_EQ(arena.Intern(""), empty);
  EXPECT_EQ(arena.Intern(static_cast<const char*>(nullptr)), empty);
  EXPECT_EQ(arena.Intern(std::string()), empty);
  EXPECT_EQ(arena.InternBytes("x", 0), empty);
  EXPECT_EQ(PropertyArena::Retain(empty), empty);
  arena.Unref(empty);
  EXPECT_EQ(empty->RefCount(), 0u);
  EXPECT_EQ(empty->Text(), "");
  EXPECT_EQ(arena.StringCount(), 0u);
}

TEST(PropertyArenaTest, HashIsFnv1aUpToFirstNul) {
  struct Case {
    std::string text;
    uint32_t hash;
  };
  const Case cases[] = {
      {"a", 0xE40C292Cu},
      {"foobar", 0xBF9CF968u},
      {std::string("a\0b", 3), 0xE40C292Cu},
  };
  PropertyArena arena;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    InternedString* entry = arena.Intern(std::string(c.text));
    EXPECT_EQ(entry->Hash(), c.hash);
    arena.Unref(entry);
  }
}

TEST(PropertyArenaTest, TextsWithEmbeddedNulAreEqualOnlyWhenWhollyEqual) {
  PropertyArena arena;
  InternedString* ab = arena.Intern(std::string("a\0b", 3));
  InternedString* ac = arena.Intern(std::string("a\0c", 3));
  InternedString* a = arena.Intern("a");
  InternedString* abAgain = arena.Intern(std::string("a\0b", 3));
  EXPECT_NE(ab, ac);
  EXPECT_NE(ab, a);
  EXPECT_EQ(ab, abAgain);
  EXPECT_EQ(ab->Text(), std::string("a\0b", 3));
  EXPECT_EQ(ac->Text(), std::string("a\0c", 3));
  EXPECT_EQ(a->Text(), "a");
  EXPECT_EQ(arena.StringCount(), 3u);
  for (InternedString* entry : {ab, ac, a, abAgain}) arena.Unref(entry);
  EXPECT_EQ(arena.StringCount(), 0u);
}

TEST(PropertyArenaTest, TableGrowsAndKeepsEveryEntry) {
  const uint64_t returned = PagesReturned();
  const uint64_t taken = PagesTaken();
  {
    PropertyArena arena;
    std::vector<InternedString*> entries;
    for (int i = 0; i < 2000; ++i) entries.push_back(arena.Intern(std::to_string(i).c_str()));
    EXPECT_EQ(arena.StringCount(), 2000u);
    for (int i = 0; i < 2000; ++i) {
      InternedString* again = arena.Intern(std::to_string(i).c_str());
      ASSERT_EQ(again, entries[i]);
      EXPECT_EQ(again->RefCount(), 2u);
      arena.Unref(again);
    }
    for (InternedString* entry : entries) arena.Unref(entry);
    EXPECT_EQ(arena.StringCount(), 0u);
  }
  EXPECT_EQ(PagesReturned() - returned, PagesTaken() - taken);
}

}  // namespace
}  // namespace Halden
