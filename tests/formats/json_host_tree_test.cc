#include "formats/json_host_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binding/host_value_conversion.h"
#include "formats/json_to_property.h"
#include "formats_test_support.h"
#include "tests/binding/conversion_test_support.h"

namespace Halden {
namespace {

using binding_test::Describe;

// The tree as a property, for comparing with JsonToProperty's.
std::string DescribeHost(const HostValue& value) {
  BindingProperty property;
  if (!HostValueToProperty(value, property, "<body>", nullptr)) return "refused";
  return Describe(property);
}

std::string Members(int count) {
  std::string text = "{";
  for (int i = 0; i < count; ++i) text += (i == 0 ? "\"m" : ",\"m") + std::to_string(i) + "\":1";
  return text + "}";
}

// Every text the tree takes reads as JsonToProperty's property; a text it
// declines is one whose property it could not stand for.
TEST(JsonHostTreeTest, ReadsAsThePropertyOrDeclines) {
  struct Case {
    std::string text;
    bool taken;
  };
  const std::vector<Case> cases = {
      {"null", true},
      {" true ", true},
      {"[false]", true},
      {"-0", true},
      {"5.0", true},
      {"18446744073709551616", true},
      {"-9223372036854775808", true},
      {"-10e308", true},
      {R"("a\"b\u00e9")", true},
      {R"("a\u0000b")", true},
      {R"([1,null,[],{},[[-1]]])", true},
      {R"({"b":{"c":[true]},"a":-1.5,"s":"t"})", true},
      {R"({"a\u0000x":1,"b":2})", true},
      {Members(JsonHostTree::kMaxMembers), true},
      {Repeat("[", kMaxJsonNesting) + Repeat("]", kMaxJsonNesting), true},
      // Repeated names merge or replace in a property; the tree leaves them.
      {R"({"a":{"x":1},"a":{"y":2}})", false},
      {R"({"a":1,"a":null})", false},
      {R"({"a\u0000x":1,"a":2})", false},
      {R"([{"k":1,"j":2,"k":3}])", false},
      {Members(JsonHostTree::kMaxMembers + 1), false},
      {Repeat("[", kMaxJsonNesting + 1) + Repeat("]", kMaxJsonNesting + 1), false},
      {"", false},
      {" \n", false},
      {"[1,", false},
      {"{\"a\":1}x", false},
  };
  for (const Case& c : cases) {
    JsonHostTree tree;
    ASSERT_EQ(tree.Read(c.text.data(), c.text.size()), c.taken) << c.text.substr(0, 80);
    if (c.taken) {
      EXPECT_EQ(DescribeHost(tree.Root()), Describe(JsonToProperty(c.text.c_str())))
          << c.text.substr(0, 80);
    } else {
      EXPECT_EQ(tree.Root().kind, kHostNone) << c.text.substr(0, 80);
    }
  }
}

// The text ends at its length or its first NUL, as the body's copy for
// JsonToProperty did; a tree larger than the built-in memory stays whole.
TEST(JsonHostTreeTest, ReadsWithinTheLengthAndBeyondItsOwnMemory) {
  const char bytes[] = "[1,2]]]";
  JsonHostTree cut;
  ASSERT_TRUE(cut.Read(bytes, 5));
  EXPECT_EQ(DescribeHost(cut.Root()), "[u1,u2]");

  const std::string withNul("{\"a\":1}\0garbage", 15);
  JsonHostTree stopped;
  ASSERT_TRUE(stopped.Read(withNul.data(), withNul.size()));
  EXPECT_EQ(DescribeHost(stopped.Root()), "{a:u1}");

  const std::string large = "[" + Repeat("\"" + std::string(100, 'x') + "\",", 99) + "{}]";
  JsonHostTree big;
  ASSERT_TRUE(big.Read(large.data(), large.size()));
  EXPECT_EQ(DescribeHost(big.Root()), Describe(JsonToProperty(large.c_str())));
}

}  // namespace
}  // namespace Halden
