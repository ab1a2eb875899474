#include "formats/json_to_property.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "formats/internal/rapidjson.h"
#include "formats_test_support.h"
#include "tests/binding/conversion_test_support.h"

namespace Halden {
namespace {

using binding_test::Describe;

TEST(JsonToPropertyTest, ReadsValuesOfEveryKind) {
  const std::pair<std::string, const char*> cases[] = {
      {"", "~"},
      {" \n\r\t", "~"},
      {"null", "~"},
      {"true", "true"},
      {" false ", "false"},
      {"5", "u5"},
      {"-5", "s-5"},
      {"-0", "s0"},
      {"5.0", "f5"},
      {"1e2", "f100"},
      {"18446744073709551615", "u18446744073709551615"},
      {"18446744073709551616", "f18446744073709551616"},
      {"-9223372036854775808", "s-9223372036854775808"},
      {"-9223372036854775809", "f-9223372036854775808"},
      {"0.30000000000000007", "f0.30000000000000004"},
      {"2.2250738585072011e-308", "f2.225073858507201e-308"},
      {"0.00000000001e-2147483639", "f0"},
      {"-0.00000000001e-2147483647", "f-0"},
      {"1e-400", "f0"},
      {"10e308", "finf"},
      {"-10e308", "f-inf"},
      // Past the largest double by its digits rather than its exponent, or
      // by an exponent that outweighs its digits after the point.
      {"1" + std::string(300, '0') + "e10", "finf"},
      {"0." + std::string(330, '1') + "e320", "finf"},
      {"-0.0", "f-0"},
      {R"("a\"b\\c\u00e9")", "\"a\"b\\c\xc3\xa9\""},
      {R"("a\u0000b")", "\"a\""},
      {R"([1,null,[],{}])", "[u1,~,[],{}]"},
      {R"({"b":{"c":[true]},"a":-1.5})", "{a:f-1.5,b:{c:[true]}}"},
      {R"({"a\u0000x":1})", "{a:u1}"},
      {R"({"a":[1],"a":[2]})", "{a:[u1,u2]}"},
      {R"({"a":{"x":1},"a":{"y":2}})", "{a:{x:u1,y:u2}}"},
      {R"({"a":1,"a":2})", "{a:u2}"},
      {R"({"a":1,"a":null})", "{a:u1}"},
      {R"({"a":{"x":1},"a":"s"})", "{a:\"s\"}"},
      {R"({"a":[1],"a":{"x":1}})", "{a:{x:u1}}"}};
  for (const auto& [text, expected] : cases) {
    const BindingResult result = JsonToProperty(text.c_str());
    EXPECT_TRUE(result.Ok()) << text << ": " << result.Error();
    EXPECT_EQ(Describe(result), expected) << text;
  }
  EXPECT_TRUE(JsonToProperty(nullptr).IsEmpty());
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

// Texts the parser refuses, each at its own place.
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
  }
  // Nesting beyond 512 levels, which the recursive parser does not limit.
  const std::vector<std::pair<std::string, std::string>> deep = {
      {Repeat("[", 513) + Repeat("]", 513),
       "Error: Nesting is deeper than 512 levels. at offset 512."},
      {Repeat("{\"a\":", 1000000), "Error: Nesting is deeper than 512 levels. at offset 2560."},
      {Repeat("[{\"\": ", 1000000), "Error: Nesting is deeper than 512 levels. at offset 1536."},
      {Repeat("[", 600) + "x", "Error: Nesting is deeper than 512 levels. at offset 512."}};
  for (const auto& [text, message] : deep) {
    EXPECT_EQ(JsonToProperty(text.c_str()).Error(), message) << text.substr(0, 12);
  }
}

}  // namespace
}  // namespace Halden
