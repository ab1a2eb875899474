#include "binding/static_type.h"

#include <gtest/gtest.h>

#include <string>

#include "binding/property.h"

namespace Halden {
namespace {

enum class Color { Red };
struct Record {};

TEST(StaticTypeTest, OneRecordPerTypeAndDistinctIds) {
  EXPECT_EQ(&StaticTypeOf<Record>(), &StaticTypeOf<Record>());
  EXPECT_NE(std::string(StaticTypeOf<Record>().name).find("Record"), std::string::npos);
  const uint32_t ids[] = {StaticTypeOf<void>().id,      StaticTypeOf<int>().id,
                          StaticTypeOf<const int>().id, StaticTypeOf<int*>().id,
                          StaticTypeOf<Color>().id,     StaticTypeOf<BindingProperty>().id};
  for (std::size_t i = 0; i < std::size(ids); ++i) {
    for (std::size_t j = i + 1; j < std::size(ids); ++j) EXPECT_NE(ids[i], ids[j]) << i << " " << j;
  }
}

TEST(StaticTypeTest, MissingNameShowsTheId) {
  EXPECT_STREQ(StaticType(0x2A, nullptr).name, "#0000002A");
  EXPECT_STREQ(StaticType(0xDEADBEEF, "").name, "#DEADBEEF");
  EXPECT_STREQ(StaticType(1, "Named").name, "Named");
}

}  // namespace
}  // namespace Halden
