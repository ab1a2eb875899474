#include "binding/type_code.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace Halden {
namespace {

// The names that messages give the type codes, from the first to the last;
// none past either end.
TEST(TypeCodeTest, NamesTheCodesFromBoolToMap) {
  const auto past = static_cast<BindingTypeCode>(static_cast<int32_t>(BindingTypeCode::Map) + 1);
  EXPECT_STREQ(TypeCodeName(BindingTypeCode::None), "");
  EXPECT_STREQ(TypeCodeName(BindingTypeCode::Bool), "bool");
  EXPECT_STREQ(TypeCodeName(BindingTypeCode::Map), "map");
  EXPECT_STREQ(TypeCodeName(past), "");
}

}  // namespace
}  // namespace Halden
