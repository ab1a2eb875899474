#include "formats/json_host_tree.h"

#include <gtest/gtest.h>

#include <string>

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
  const std::string taken[] = {"7",
                               "null",
                               " true ",
                               "[false]",
                               "-0",
                               "5.0",
                               "18446744073709551616",
                               "-9223372036854775808",
                               "-10e308",
                               R"("a\"b\u00e9")",
                               R"("a\u0000b")",
                               R"([1,null,[],{},[[-1]]])",
                               R"({"b":{"c":[true]},"a":-1.5,"s":"t"})",
                               R"({"a\u0000x":1,"b":2})",
                               Members(JsonHostTree::kMaxMembers),
                               Repeat("[", kMaxJsonNesting) + Repeat("]", kMaxJsonNesting)};
  for (const std::string& text : taken) {
    SCOPED_TRACE(text.substr(0, 80));
    JsonHostTree tree;
    ASSERT_TRUE(tree.Read(text.data(), text.size()));
    EXPECT_EQ(DescribeHost(tree.Root()), Describe(JsonToProperty(text.c_str())));
  }
  // Repeated names merge or replace in a property; the tree leaves them.
  const std::string declined[] = {
      R"({"a":{"x":1},"a":{"y":2}})",
      R"({"a":1,"a":null})",
      R"({"a\u0000x":1,"a":2})",
      R"([{"k":1,"j":2,"k":3}])",
      Members(JsonHostTree::kMaxMembers + 1),
      Repeat("[", kMaxJsonNesting + 1) + Repeat("]", kMaxJsonNesting + 1),
      "",
      " \n",
      "[1,",
      "{\"a\":1}x"};
  for (const std::string& text : declined) {
    SCOPED_TRACE(text.substr(0, 80));
    JsonHostTree tree;
    ASSERT_FALSE(tree.Read(text.data(), text.size()));
    EXPECT_EQ(tree.Root().kind, kHostNone);
  }
}

// The text ends at its length or its first NUL, as the body's copy for
// JsonToProperty did; a tree larger than the built-in memory stays whole.
TEST(JsonHostTreeTest, ReadsWithinTheLengthAndBeyondItsOwnMemory) {
  const auto read = [](const std::string& text, std::size_t length) {
    JsonHostTree tree;
    return tree.Read(text.data(), length) ? DescribeHost(tree.Root()) : "declined";
  };
  EXPECT_EQ(read("[1,2]]]", 5), "[u1,u2]");
  EXPECT_EQ(read(std::string("{\"a\":1}\0garbage", 15), 15), "{a:u1}");
  const std::string large = "[" + Repeat("\"" + std::string(100, 'x') + "\",", 99) + "{}]";
  EXPECT_EQ(read(large, large.size()), Describe(JsonToProperty(large.c_str())));
}

}  // namespace
}  // namespace Halden
