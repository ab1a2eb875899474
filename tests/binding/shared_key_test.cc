#include "binding/shared_key.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "binding/native_conversion.h"
#include "binding/property_arena.h"
#include "binding/registration.h"

namespace Halden {
namespace {

struct Pair {
  std::string sharedKeyLeft;
  int32_t sharedKeyRight = 0;
};

std::unique_ptr<BindingRegistry> PairRegistry() {
  auto registry = std::make_unique<BindingRegistry>();
  RegisterStruct<Pair>(*registry, "Pair")
      .Field("sharedKeyLeft", &Pair::sharedKeyLeft)
      .Field("sharedKeyRight", &Pair::sharedKeyRight);
  return registry;
}

// Registries share one entry per name; a tree keeps its keys after every
// registry is gone, and the unload frees only the entries nobody holds.
TEST(SharedKeyTest, EntriesOutliveTheirRegistriesUntilTheUnload) {
  PropertyArena::ReleaseKeptMemory();
  const std::size_t before = SharedKey::Count();
  auto first = PairRegistry();
  const std::size_t held = SharedKey::Count();
  EXPECT_GT(held, before + 1);
  auto second = PairRegistry();
  EXPECT_EQ(SharedKey::Count(), held);

  BindingProperty tree = ConvertToProperty(*first, Pair{"left", 7});
  tree.Member("nested") = tree;
  first.reset();
  second.reset();
  EXPECT_EQ(tree.Find("sharedKeyLeft").GetString(), "left");
  auto third = PairRegistry();
  EXPECT_EQ(SharedKey::Count(), held);
  PropertyArena::ReleaseKeptMemory();
  EXPECT_EQ(SharedKey::Count(), held);
  // Read by the third registry, and from a copy in a tree of its own.
  BindingProperty copy = tree;
  for (const BindingProperty* source : {&tree, &copy}) {
    Pair back;
    ASSERT_TRUE(ConvertFromProperty(*third, *source, back, "<value>").Ok());
    EXPECT_EQ(back.sharedKeyLeft, "left");
    EXPECT_EQ(back.sharedKeyRight, 7);
  }

  // Trees never count a shared entry, so that threads may share it.
  const InternedString* entry = SharedKey("sharedKeyLeft").Entry();
  third.reset();
  tree = BindingProperty();
  copy = BindingProperty();
  EXPECT_EQ(entry->RefCount(), 0u);
  PropertyArena::ReleaseKeptMemory();
  EXPECT_EQ(SharedKey::Count(), before);
}

}  // namespace
}  // namespace Halden
