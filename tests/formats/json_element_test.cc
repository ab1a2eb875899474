#include "formats/json_element.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "formats/json_exception.h"
#include "formats_test_support.h"

namespace Halden::json {
namespace {

const char kSample[] = R"({"a": [1, "x", null], "b": true})";

TEST(JsonElementTest, CopiesMovesAndMembers) {
  Element original = Parse(kSample);
  Element copy = original;
  copy.AsObject()["a"].AsArray().begin()->AsNumber().SetValue(2);
  // Assigning a part of the tree to the tree itself.
  copy = copy.AsObject()["a"];
  EXPECT_EQ(Render(copy), "[2,'x',N]");
  Element moved = std::move(original);
  EXPECT_TRUE(original.IsNull());
  Object& object = moved.AsObject();
  EXPECT_EQ(object.Find("B"), nullptr);
  EXPECT_EQ(object.Find(std::string("a\0", 2)), nullptr);
  object["c"];  // subscript appends a missing member
  object.Insert("d", Parse(R"({"e": "f"})"));
  EXPECT_THAT(
      [&] { object.Insert("a", Element()); },
      ::testing::ThrowsMessage<Exception>(::testing::StrEq("Object member already exists: a")));
  EXPECT_EQ(Render(moved), "{a:[1,'x',N],b:T,c:N,d:{e:'f'}}");
  // A visit that may change an element reaches what it holds.
  struct Doubling : Visitor {
    void Visit(Object&) override {}
    void Visit(Array& array) override {
      for (Element& element : array) element.Accept(*this);
    }
    void Visit(Number& number) override { number.SetValue(2 * number.Value()); }
    void Visit(String&) override {}
    void Visit(Boolean&) override {}
    void Visit(Null&) override {}
  } doubling;
  object["a"].Accept(doubling);
  EXPECT_EQ(Render(object["a"]), "[2,'x',N]");
  Element empty;
  empty.Accept(doubling);
  // Read as another kind, a constant element gives that kind's default.
  const Element& number = *object["a"].AsArray().begin();
  EXPECT_EQ(number.AsNumber().Value(), 2);
  EXPECT_EQ(number.AsString().Value(), "");
}

TEST(JsonElementTest, Equality) {
  const struct {
    const char* a;
    const char* b;
    bool equal;
  } cases[] = {
      {kSample, R"({"a":[1,"x",null],"b":true})", true},
      {R"({"a":1})", R"({"a":2})", false},
      {R"({"a":0})", R"({"a":false})", false},
      {R"({"a":""})", R"({"a":null})", false},
      {R"({"a":{}})", R"({"a":[]})", false},
      {kSample, R"({"b":true,"a":[1,"x",null]})", false},
      {kSample, R"({"a":[1,"x",null],"c":true})", false},
      {kSample, R"({"a":[1,"x",null,null],"b":true})", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Parse(c.a) == Parse(c.b), c.equal) << c.a << " " << c.b;
    EXPECT_EQ(Parse(c.b) == Parse(c.a), c.equal) << c.a << " " << c.b;
  }
}

}  // namespace
}  // namespace Halden::json
