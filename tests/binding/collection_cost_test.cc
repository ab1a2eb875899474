// Counts the heap blocks a tree takes, through the counting global operator
// new of the test binary (tests/support/allocation_probe.cc).
#include <gtest/gtest.h>

#include "binding/arena_page_source.h"
#include "binding/property.h"
#include "tests/support/allocation_probe.h"

namespace Halden {
namespace {

TEST(CollectionCost, ScalarsInACollectionTakeOneArrayOfProperties) {
  const uint64_t pages = ArenaPageSource::Instance().GetCounters().pagesTaken;
  BindingProperty scalars;
  scalars.MakeCollection().Reserve(500);
  const uint64_t before = testing::AllocationCount();
  for (int i = 0; i < 500; ++i) {
    scalars.Append().SetSigned(i);
    scalars.Append().SetFloat(i * 0.5);
  }
  // Growing past the first reservation moves the one element array once.
  EXPECT_EQ(testing::AllocationCount() - before, 1u);
  EXPECT_EQ(scalars.Size(), 1000u);
  EXPECT_EQ(ArenaPageSource::Instance().GetCounters().pagesTaken, pages);
}

}  // namespace
}  // namespace Halden
