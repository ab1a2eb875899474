#include "formats/yaml_to_property.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <utility>
#include <vector>

#include "formats_test_support.h"
#include "tests/binding/conversion_test_support.h"

namespace Halden {
namespace {

using binding_test::Describe;

BindingResult Read(const std::string& text) { return YamlToProperty(text.data(), text.size()); }

using ReadCase = std::pair<std::string, std::string>;  // the text, what it reads as

// Reads every case; a failure is described by its message.
void ExpectReads(const std::vector<ReadCase>& cases) {
  for (const auto& [text, expected] : cases) {
    const BindingResult result = Read(text);
    EXPECT_EQ(result.Ok() ? Describe(result) : result.Error(), expected) << text;
  }
}

TEST(YamlToPropertyTest, Reads) {
  // Past a double's range, however the exponent is signed, too large stays text
  // and too small is 0; a literal block may begin with a tab; no UTF-16.
  const std::string huge = "1" + std::string(400, '0') + "e-10";
  const std::string hexHuge = "0x1" + std::string(300, '0') + "p-10";
  const std::vector<ReadCase> shortCases = {
      {"", "~"},          {"~", "~"},         {"yes", "true"},  {"Off", "false"},
      {"0x10", "u16"},    {"0X10", "u16"},    {"-5", "s-5"},    {"-0", "u0"},
      {"--5", "\"--5\""}, {"1x5", "\"1x5\""}, {"1e3", "u1000"}, {"1.5", "f1.5"},
      {"0.5", "f0.5"},    {"2e19", "f2e+19"}, {"1e-400", "u0"}, {"''", "\"\""}};
  const std::vector<ReadCase> cases = {
      {huge, '"' + huge + '"'},    {hexHuge, '"' + hexHuge + '"'}, {"nULL", "\"nULL\""},
      {"0x-1", "\"0x-1\""},        {"1e400", "\"1e400\""},         {"a: |\n  42", "{a:u42}"},
      {"a: |2-\n  \t5", "{a:u5}"}, {"'yes'", "\"yes\""},           {"!!float 2.5", "f2.5"},
      {"!!bool yes", "true"},      {"!!bool Off", "false"},        {"b: 1\na: 2", "{a:u2,b:u1}"},
      {"a:\nb: {}", "{a:~,b:{}}"}, {"--- ~\n--- 5", "u5"},         {"a: &e\nb: *e", "{a:~,b:~}"}};
  const std::vector<ReadCase> longCases = {
      {"0." + std::string(400, '0') + "1", "u0"},
      {"0x0." + std::string(300, '0') + "1p+10", "u0"},
      {"0x10000000000000000", "f18446744073709551616"},
      {"18446744073709551616", "f18446744073709551616"},
      {"9007199254740993", "u9007199254740993"},
      {"-9223372036854775808", "s-9223372036854775808"},
      {"-9.223372036854775808e18", "s-9223372036854775808"},
      {"-9223372036854775809", "f-9223372036854775808"},
      {"a: >-\n  4\n  2", "{a:\"4 2\"}"},
      {"- 1\n- two\n-\n- [x, {}]", "[u1,\"two\",~,[\"x\",{}]]"},
      {"[!!str 12, 2]", "[\"12\",u2]"},
      {"[!!int 0x1F, 2]", "[u31,u2]"},
      {"!!int 18446744073709551615", "u18446744073709551615"},
      {"!!int 12abc", "Value 12abc for 'yaml' of type uint64_t is in an incorrect format"},
      {"!!int 18446744073709551616",
       "Value 18446744073709551616 for 'yaml' of type uint64_t is out of range"},
      {"!!int -9223372036854775809",
       "Value -9223372036854775809 for 'yaml' of type int64_t is out of range"},
      {"!!float 1e999", "Value 1e999 for 'yaml' of type double is out of range"},
      {"[!!bool maybe, 2]", "[~,u2]"},
      {"a: !local x\nb: *y", "Unsupported YAML tag '!local'."},
      {"1: a\nnull: b\n'x': c\n!!str 5: d", "{1:\"a\",5:\"d\",null:\"b\",x:\"c\"}"},
      {"a: {x: 1, y: [2]}", "{a:{x:u1,y:[u2]}}"},
      {"a: {x: 1}\na: {y: 2}", "{a:{x:u1,y:u2}}"},
      {"!!int 5: x", "Invalid mapping key. Only string scalar keys are allowed. At line: 1 col: 1"},
      {"a: 1\n!!bool y: x",
       "Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1"},
      {"? [a]\n: b", "Unexpected start of sequence. At line: 1 col: 3"},
      {"? {a: 1}\n: b", "Unexpected start of mapping. At line: 1 col: 3"},
      {std::string("\xff\xfe\x61\0:\0 \0\x31\0", 10),
       "YAML parser error: invalid leading UTF-8 octet. At line: 0 col: 0"},
      {"a: 1\n---\nb: 2", "Multi-document YAML is not supported."},
      {"---\n...\n---\na: 1", "{a:u1}"},
      {"--- &a ~\n--- [*a, *a]", "Undefined alias encountered: \"a\". At line: 2 col: 6"},
      {"a: &x {b: 1}\nc: *x", "{a:{b:u1},c:{b:u1}}"},
      {"- &x 5\n- *x\n- [*x]", "[u5,u5,[u5]]"},
      {"&k a: 1\nb: *k\n*k : 3\nc: 2", "{a:u3,b:\"a\",c:u2}"},
      {"a: &x\n  b: *x", "Cannot deserialize cyclic aliases. Alias \"x\". At line: 2 col: 6"},
      {"a: *y", "Undefined alias encountered: \"y\". At line: 1 col: 4"},
      {"a: &x 1\nb: &x 2\nc: *y", "Duplicate occurrence of anchor \"x\". At line: 2 col: 4"},
      {"a: &x 1\nb: &x [2]\nc: *y", "Duplicate occurrence of anchor \"x\". At line: 2 col: 4"},
      {"&x a: 1\n&x b: 2\nc: *y", "Duplicate occurrence of anchor \"x\". At line: 2 col: 1"},
      {"a: &k name\n*k : 1", "{a:\"name\",name:u1}"},
      {"a: &n 5\n*n : 1",
       "Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1"},
      {"a: &x [1]\na: 2\nb: *x", "{a:u2,b:u2}"},
      {"a: &x {b: &y 1}\na: [3]\nc: *y", "{a:[u3],c:~}"},
      {"a: &x {b: 1}\na: {c: *x}", "{a:{b:u1,c:{b:u1,c:~}}}"},
      {"a: 'x", "YAML parser error: found unexpected end of stream. At line: 0 col: 5"}};
  for (const auto* table : {&shortCases, &cases, &longCases}) ExpectReads(*table);
  EXPECT_TRUE(YamlToProperty(nullptr, 5).Ok());
}

TEST(YamlToPropertyTest, NumbersReadTheSameInADecimalCommaLocale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8 locale";
  ExpectReads({{"1.5", "f1.5"}, {"1,5", "\"1,5\""}, {"!!float 2.5", "f2.5"}});
  std::setlocale(LC_ALL, previous.c_str());
}

TEST(YamlToPropertyTest, RefusesNestingDeeperThanTheLimit) {
  // An alias copy counts where it lands: x holds 511 levels below its own.
  const std::string anchored = "a: &x " + Repeat("[", 511) + Repeat("]", 511) + "\n";
  EXPECT_TRUE(Read(anchored + "b: *x").Ok());
  ExpectReads({{Repeat("[", 1000000), "Nesting is deeper than 512 levels. At line: 1 col: 513"},
               {Repeat("{a: ", 1000000), "Nesting is deeper than 512 levels. At line: 1 col: 2049"},
               {Repeat("- ", 1000000), "Nesting is deeper than 512 levels. At line: 1 col: 1025"},
               {anchored + "c: [*x]", "Nesting is deeper than 512 levels. At line: 2 col: 5"}});
  // Copying a node into itself through a repeated key grows the tree by
  // its height each time.
  std::string growing = "a: &x {b: 1}\n";
  for (int i = 0; i < 600; ++i) growing += "a: {c: *x}\n";
  EXPECT_EQ(Read(growing).Error(), "Nesting is deeper than 512 levels. At line: 512 col: 8");
}

TEST(YamlToPropertyTest, RefusesAliasExpansionBeyondTheLimit) {
  // Ten times more values on each line: nine lines would be a billion.
  std::string bomb = "a: &a [x, x, x, x, x, x, x, x, x, x]\n";
  for (char name = 'b'; name <= 'i'; ++name) {
    const std::string alias = std::string("*") + static_cast<char>(name - 1);
    bomb += std::string(1, name) + ": &" + name + " [" + Repeat(alias + ",", 9) + alias + "]\n";
  }
  // Before line f: 123,456 values; each *e copies 111,111.
  EXPECT_EQ(Read(bomb).Error(), "YAML alias expansion exceeds 1000000 values. At line: 6 col: 29");

  // A copy of a thousand values (the list and its 999 elements), made a
  // thousand times, reaches the limit; one more, a key's, passes it.
  const std::string thousand =
      "&k a: &a [" + Repeat("0,", 998) + "0]\nb: [" + Repeat("*a,", 999) + "*a]\n";
  EXPECT_TRUE(Read(thousand).Ok());
  EXPECT_EQ(Read(thousand + "c: *k\nd: *y").Error(),
            "YAML alias expansion exceeds 1000000 values. At line: 3 col: 4");

  // Keys copied count by their bytes too: a thousand copies of a key of a
  // thousand bytes reach that limit; one byte more, a copy of the key or of
  // a string in a key's place, passes it, and the reading stops there.
  const std::string key =
      "s: &s s\n&k " + std::string(1000, 'k') + ": 0\na: [" + Repeat("*k,", 999) + "*k]\n";
  EXPECT_TRUE(Read(key).Ok());
  for (const char* more : {"*k : 1\nd: *y", "*s : 1\nd: *y"}) {
    EXPECT_EQ(Read(key + more).Error(),
              "YAML alias expansion exceeds 1000000 bytes of keys. At line: 4 col: 1");
  }

  // Only copies count: the input's own values are bounded by its size.
  EXPECT_TRUE(Read("[" + Repeat("0,", kMaxYamlValues) + "0]").Ok());
}

}  // namespace
}  // namespace Halden
