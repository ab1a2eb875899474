#include "binding/binding_result.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace Halden {
namespace {

TEST(BindingResultTest, FreshResultIsOk) {
  BindingResult result;
  EXPECT_TRUE(result.Ok());
  EXPECT_EQ(result.Error(), "");
  EXPECT_TRUE(result.IsEmpty());
}

TEST(BindingResultTest, SetErrorHoldsTheMessage) {
  BindingResult result;
  result.SetSigned(4);
  result.SetError("'count' must be positive");
  EXPECT_FALSE(result.Ok());
  EXPECT_EQ(result.Error(), "'count' must be positive");
  EXPECT_EQ(result.GetKind(), BindingPropertyKind::Structure);
  EXPECT_EQ(result.Size(), 1u);
  EXPECT_EQ(result.Find("error").GetString(), "'count' must be positive");

  // Without a String "error" member there is no message.
  result.Member("error").SetSigned(1);
  EXPECT_EQ(result.Error(), "");
}

TEST(BindingResultTest, SetErrorWithTextOfTheResultItself) {
  const std::string message = "a message longer than any inline string";
  BindingResult result;
  result.Member("detail").SetString(message);
  result.SetError(result.Find("detail").GetString());
  EXPECT_EQ(result.Error(), message);
  result.SetError(result.Error());
  EXPECT_EQ(result.Error(), message);
}

TEST(BindingResultTest, FlagTravelsWithCopiesAndMoves) {
  BindingResult failed;
  failed.SetError("bad");
  BindingResult copy(failed);
  EXPECT_FALSE(copy.Ok());
  EXPECT_EQ(copy.Error(), "bad");
  BindingResult moved(std::move(copy));
  EXPECT_FALSE(moved.Ok());
  EXPECT_EQ(moved.Error(), "bad");
  BindingResult assigned;
  assigned = moved;
  EXPECT_FALSE(assigned.Ok());
  EXPECT_EQ(assigned.Error(), "bad");
  // Error() of a successful result is empty even with an "error" member.
  BindingProperty value;
  value.Member("error").SetString("not a failure");
  assigned = value;
  EXPECT_TRUE(assigned.Ok());
  EXPECT_EQ(assigned.Error(), "");
}

TEST(BindingResultTest, FromPropertyCopiesOrTakesOver) {
  BindingProperty value;
  value.Member("k").SetString("v");
  const BindingResult copied(value);
  EXPECT_TRUE(copied.Ok());
  EXPECT_EQ(copied.Find("k").GetString(), "v");
  EXPECT_EQ(value.Find("k").GetString(), "v");
  const PropertyArena* arena = value.Arena();
  const BindingResult taken(std::move(value));
  EXPECT_EQ(taken.Arena(), arena);
  EXPECT_TRUE(value.IsEmpty());
}

}  // namespace
}  // namespace Halden
