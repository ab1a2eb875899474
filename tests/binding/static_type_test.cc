#include "binding/static_type.h"

#include <gtest/gtest.h>

#include <string>

#include "binding/property.h"

namespace Halden {
namespace {

enum class Color { Red };
struct Record {};

// The identifier is a build-time constant.
static_assert(StaticTypeId<int>() != StaticTypeId<unsigned>());

TEST(StaticTypeTest, OneRecordPerType) {
  const StaticType& a = StaticTypeOf<Record>();
  const StaticType& b = StaticTypeOf<Record>();
  EXPECT_EQ(&a, &b);
  EXPECT_EQ(a.id, StaticTypeId<Record>());
  EXPECT_EQ(a.id, Fnv1a(StaticType::Name<Record>()));
  EXPECT_EQ(a.name, StaticType::Name<Record>());
  EXPECT_NE(std::string(a.name).find("Record"), std::string::npos);
}

TEST(StaticTypeTest, DistinctTypesHaveDistinctIds) {
  const uint32_t ids[] = {
      StaticTypeOf<void>().id,      StaticTypeOf<int>().id,
      StaticTypeOf<const int>().id, StaticTypeOf<int*>().id,
      StaticTypeOf<Color>().id,     StaticTypeOf<Record>().id,
      StaticTypeOf<double>().id,    StaticTypeOf<BindingProperty>().id,
  };
  for (std::size_t i = 0; i < std::size(ids); ++i) {
    for (std::size_t j = i + 1; j < std::size(ids); ++j) EXPECT_NE(ids[i], ids[j]) << i << " " << j;
  }
  EXPECT_NE(std::string(StaticTypeOf<void>().name).find("void"), std::string::npos);
}

TEST(StaticTypeTest, MissingNameShowsTheId) {
  const StaticType withoutName(0x2A, nullptr);
  EXPECT_STREQ(withoutName.name, "#0000002A");
  const StaticType emptyName(0xDEADBEEF, "");
  EXPECT_STREQ(emptyName.name, "#DEADBEEF");
  const StaticType named(1, "Named");
  EXPECT_STREQ(named.name, "Named");
}

}  // namespace
}  // namespace Halden
