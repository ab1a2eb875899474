// JSON text read into a property and a host value tree.
#include "formats/json_to_property.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "binding/host_value_conversion.h"
#include "formats/internal/rapidjson.h"
#include "formats/json_host_tree.h"
#include "formats_test_support.h"
#include "tests/binding/conversion_test_support.h"

namespace Halden {
namespace {

using binding_test::Describe;

// The host tree read from the text's first `length` bytes, as a property.
std::string ReadTree(const std::string& text, std::size_t length) {
  JsonHostTree tree;
  if (!tree.Read(text.data(), length)) {
    return tree.Root().kind == kHostNone ? "declined" : "declined, leaving a tree";
  }
  BindingProperty property;
  if (!HostValueToProperty(tree.Root(), property, "<body>", nullptr)) return "refused";
  return Describe(property);
}

std::string Members(int count) {
  std::string text = "{";
  for (int i = 0; i < count; ++i) text += (i == 0 ? "\"m" : ",\"m") + std::to_string(i) + "\":1";
  return text + "}";
}

// The host tree reads each text as JsonToProperty does, or declines it where
// the property says more (repeated names merge) or there is nothing to read.
TEST(JsonToPropertyTest, ReadsValuesOfEveryKindAsTheHostTreeDoes) {
  struct Case {
    std::string text;
    const char* expected;
    bool tree = true;  // the host tree takes it
  };
  // Past the largest double by its digits rather than its exponent, or by an
  // exponent that outweighs its digits after the point: inf.
  const std::vector<Case> shortCases = {
      {"", "~", false},     {" \n\r\t", "~", false}, {"null", "~"},   {"true", "true"},
      {" false ", "false"}, {"[false]", "[false]"},  {"5", "u5"},     {"-5", "s-5"},
      {"-0", "s0"},         {"5.0", "f5"},           {"1e2", "f100"}, {"1e-400", "f0"},
      {"10e308", "finf"},   {"-10e308", "f-inf"},    {"-0.0", "f-0"}, {R"("a\u0000b")", "\"a\""}};
  const std::vector<Case> cases = {
      {"0.00000000001e-2147483639", "f0"},           {"-0.00000000001e-2147483647", "f-0"},
      {"1" + std::string(300, '0') + "e10", "finf"}, {R"("a\"b\\c\u00e9")", "\"a\"b\\c\xc3\xa9\""},
      {R"({"a\u0000x":1,"b":2})", "{a:u1,b:u2}"},    {R"({"a\u0000x":1,"a":2})", "{a:u2}", false},
      {R"({"a":1,"a":2})", "{a:u2}", false},         {R"({"a":1,"a":null})", "{a:u1}", false}};
  const std::vector<Case> longCases = {
      {"18446744073709551615", "u18446744073709551615"},
      {"18446744073709551616", "f18446744073709551616"},
      {"-9223372036854775808", "s-9223372036854775808"},
      {"-9223372036854775809", "f-9223372036854775808"},
      {"0.30000000000000007", "f0.30000000000000004"},
      {"2.2250738585072011e-308", "f2.225073858507201e-308"},
      {"0." + std::string(330, '1') + "e320", "finf"},
      {R"([1,null,[],{},[[-1]]])", "[u1,~,[],{},[[s-1]]]"},
      {R"({"b":{"c":[true]},"a":-1.5,"s":"t"})", "{a:f-1.5,b:{c:[true]},s:\"t\"}"},
      {R"({"a":[1],"a":[2]})", "{a:[u1,u2]}", false},
      {R"({"a":{"x":1},"a":{"y":2}})", "{a:{x:u1,y:u2}}", false},
      {R"({"a":{"x":1},"a":"s"})", "{a:\"s\"}", false},
      {R"({"a":[1],"a":{"x":1}})", "{a:{x:u1}}", false},
      {R"([{"k":1,"j":2,"k":3}])", "[{j:u2,k:u3}]", false}};
  for (const auto* table : {&shortCases, &cases, &longCases}) {
    for (const Case& c : *table) {
      const BindingResult result = JsonToProperty(c.text.c_str());
      EXPECT_TRUE(result.Ok()) << c.text << ": " << result.Error();
      EXPECT_EQ(Describe(result), c.expected) << c.text;
      EXPECT_EQ(ReadTree(c.text, c.text.size()), c.tree ? c.expected : "declined") << c.text;
    }
  }
  EXPECT_TRUE(JsonToProperty(nullptr).IsEmpty());
  // The tree's own limits.
  const std::pair<std::string, bool> limits[] = {
      {Members(JsonHostTree::kMaxMembers), true},
      {Members(JsonHostTree::kMaxMembers + 1), false},
      {Repeat("[", kMaxJsonNesting) + Repeat("]", kMaxJsonNesting), true},
      {Repeat("[", kMaxJsonNesting + 1) + Repeat("]", kMaxJsonNesting + 1), false}};
  for (const auto& [text, taken] : limits) {
    EXPECT_EQ(ReadTree(text, text.size()),
              taken ? Describe(JsonToProperty(text.c_str())) : "declined");
  }
}

// The text ends at its length or its first NUL, as the body's copy for
// JsonToProperty did; a tree larger than the built-in memory stays whole.
TEST(JsonHostTreeTest, ReadsWithinTheLengthAndBeyondItsOwnMemory) {
  EXPECT_EQ(ReadTree("[1,2]]]", 5), "[u1,u2]");
  EXPECT_EQ(ReadTree(std::string("{\"a\":1}\0garbage", 15), 15), "{a:u1}");
  const std::string large = "[" + Repeat("\"" + std::string(100, 'x') + "\",", 99) + "{}]";
  EXPECT_EQ(ReadTree(large, large.size()), Describe(JsonToProperty(large.c_str())));
  // A tree read again keeps nothing of its last text when the new one fails.
  JsonHostTree tree;
  ASSERT_TRUE(tree.Read("[1]", 3));
  EXPECT_FALSE(tree.Read("[", 1));
  EXPECT_EQ(tree.Root().kind, kHostNone);
}

// The message the recursive parser gives, which the reader must repeat.
std::string RecursiveParserMessage(const char* text) {
  rapidjson::Reader reader;
  rapidjson::StringStream stream(text);
  rapidjson::BaseReaderHandler<> handler;
  const rapidjson::ParseResult parsed = reader.Parse(stream, handler);
  if (!parsed.IsError()) return "";
  return std::string("Error: ") + rapidjson::GetParseError_En(parsed.Code()) + " at offset " +
         std::to_string(parsed.Offset()) + ".";
}

// Texts the parser refuses, each at its own place; the host tree declines them.
const char* const kRefused[] = {" [1] x",      "01",           "[1,]",     "[1,",     "[",
                                "nul",         "NaN",          "]",        " }",      ",1",
                                "\n:",         "{\"a\":}",     "{\"a\":",  "{1}",     "{\"a\":1,}",
                                "{\"a\" 1}",   "{\"a\"",       "{\"a\":1", "[1 2]",   "[1}",
                                "\"\\u12G4\"", "\"\\ud800x\"", "\"\\x\"",  "\"abc",   "\"a\x01\"",
                                "1e999",       "1.",           "1e",       "// c\n1", "1 2"};

TEST(JsonToPropertyTest, ReportsParseErrorsAsTheRecursiveParserDoes) {
  for (const char* text : kRefused) {
    const BindingResult result = JsonToProperty(text);
    EXPECT_FALSE(result.Ok()) << text;
    EXPECT_EQ(result.Error(), RecursiveParserMessage(text)) << text;
    EXPECT_EQ(ReadTree(text, std::strlen(text)), "declined") << text;
  }
  // Nesting beyond 512 levels, which the recursive parser does not limit.
  const std::vector<std::pair<std::string, std::string>> deep = {
      {Repeat("{\"a\":", 1000000), "Error: Nesting is deeper than 512 levels. at offset 2560."},
      {Repeat("[", 600) + "x", "Error: Nesting is deeper than 512 levels. at offset 512."}};
  for (const auto& [text, message] : deep) {
    EXPECT_EQ(JsonToProperty(text.c_str()).Error(), message) << text.substr(0, 12);
  }
}

}  // namespace
}  // namespace Halden
