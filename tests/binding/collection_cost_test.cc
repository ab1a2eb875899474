// Counts the heap blocks a tree takes, through a counting global operator
// new in this test binary. The replacement operators pair malloc with free,
// which GCC cannot see through once they are inlined.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "binding/arena_page_source.h"
#include "binding/property.h"

namespace {
std::atomic<uint64_t> heapBlocks{0};
}  // namespace

void* operator new(std::size_t size) {
  heapBlocks.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace Halden {
namespace {

TEST(CollectionCost, ScalarsInACollectionTakeOneArrayOfProperties) {
  const uint64_t pages = ArenaPageSource::Instance().GetCounters().pagesTaken;
  BindingProperty scalars;
  scalars.MakeCollection().Reserve(500);
  const uint64_t before = heapBlocks.load();
  for (int i = 0; i < 500; ++i) {
    scalars.Append().SetSigned(i);
    scalars.Append().SetFloat(i * 0.5);
  }
  // Growing past the first reservation moves the one element array once.
  EXPECT_EQ(heapBlocks.load() - before, 1u);
  EXPECT_EQ(scalars.Size(), 1000u);
  EXPECT_EQ(ArenaPageSource::Instance().GetCounters().pagesTaken, pages);
}

}  // namespace
}  // namespace Halden
