#include "formats/json_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "formats_test_support.h"
#include "tests/support/allocation_probe.h"

namespace Halden::json {
namespace {

// What reading `text` gives: the document, or "message @begin-end" for the
// parser's failures and "message @location" for the scanner's.
std::string Outcome(const std::string& text) {
  Element document = Parse(R"({"previous": 1})");  // replaced by what is read
  try {
    Reader::Read(text.c_str(), document);
  } catch (const Reader::ParseException& e) {
    return std::string(e.what()) + " @" + std::to_string(e.LocationBegin()) + "-" +
           std::to_string(e.LocationEnd());
  } catch (const Reader::ScanException& e) {
    return std::string(e.what()) + " @" + std::to_string(e.Location());
  }
  return Render(document);
}

TEST(JsonReaderTest, ReadsDocumentsAndLocatesFailures) {
  // Past 16 members names are found in a set.
  std::string members = "{";
  for (int i = 0; i < 40; ++i)
    members += "\"m" + std::to_string(i) + "\":" + std::to_string(i) + ",";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {" {\n \"a\" : [ 1 ,\t2.5e1, -3 ] ,\"b\":null }\n", "{a:[1,25,-3],b:N}"},
      {R"({"a":-0.5E-2,"b":12345678901234567890,"c":false,"d":true,"e":0})",
       "{a:-0.005,b:12345678901234567168,c:F,d:T,e:0}"},
      {R"({"b":[[]],"c":{}})", "{b:[[]],c:{}}"},
      {R"({"a":"q\"s\\b\/n\nr\rt\tb\bf\f"})", "{a:'q\"s\\b/n\nr\rt\tb\bf\f'}"},
      // \u stays as its six characters.
      {R"({"a":"caf\u00e9"})", "{a:'caf\\u00e9'}"},
      {"{\"a\":\"\x01\x7f\xc3\xa9\"}", "{a:'\x01\x7f\xc3\xa9'}"},
      // Bytes behind a NUL are never read.
      {std::string("{}\0{\"x\"", 7), "{}"},
      {R"({"a":+1})", "Unexpected character in stream: + @5"},
      {"{\"a\":\xc3\xa9}", "Unexpected character in stream: \xc3 @5"},
      {R"({"a":tru})", "Expected string: true @9"},
      {R"({"a":fals)", "Expected string: false @9"},
      {R"({"a":"caf\q"})", "Unrecognized escape sequence found in string: \\q @11"},
      {R"({"a":"ab\")", "Expected string: \" @10"},
      {R"({"a":1)", "Unexpected End of token stream @0-0"},
      {R"({"a":)", "Unexpected end of token stream @0-0"},
      {"[1]", "Unexpected token: [ @0-1"},
      {R"({1:2})", "Unexpected token: 1 @1-2"},
      {R"({"a":1,})", "Unexpected token: } @7-8"},
      {R"({"a":[1 2]})", "Unexpected token: 2 @8-9"},
      {R"({"a":1 "b":2})", "Unexpected token: b @7-10"},
      {R"({"a":{},"b":[],"a":{}})", "Duplicate object member token: a @15-18"},
      {R"({"a":1.2.3})", "Unexpected character in NUMBER token: . @5-10"},
      {R"({"a":--1})", "Unexpected character in NUMBER token: - @5-8"},
      {R"({} "tail")", "Expected End of token stream; found tail @3-9"},
      // A scan failure anywhere comes before a parse failure.
      {R"({"a":[1 2] @})", "Unexpected character in stream: @ @11"},
      {"{\"a\":" + std::string(600, '[') + "?", "Unexpected character in stream: ? @605"},
      // The first name looked up in the set follows the first 16 members,
      // the last of which went into it with them.
      {members.substr(0, 125) + "\"m15\":0}", "Duplicate object member token: m15 @125-130"},
      {members + "\"m3\":0}", "Duplicate object member token: m3 @341-345"},
      {members + "\"m16\":0}", "Duplicate object member token: m16 @341-346"},
      // At most 512 levels.
      {"{\"a\":" + std::string(512, '[') + std::string(512, ']') + "}",
       "Nesting is deeper than 512 levels @516-517"},
      {Repeat("{\"a\":", 513), "Nesting is deeper than 512 levels @2560-2561"}};
  for (const auto& [text, outcome] : cases) EXPECT_EQ(Outcome(text), outcome) << text.substr(0, 20);
}

TEST(JsonReaderTest, ScanAppendsEveryToken) {
  Reader::Tokens tokens(1);
  Reader::Scan(R"({"a": [true, null]})", tokens);
  ASSERT_EQ(tokens.size(), 10u);
  EXPECT_EQ(tokens.back().value + "@" + std::to_string(tokens.back().begin), "}@18");
}

// A message may be megabytes: the reader keeps one token at a time, so its
// memory follows the document it builds, and a document nested too deeply
// fails before it costs anything.
TEST(JsonReaderTest, MemoryIsASmallMultipleOfTheInput) {
  constexpr std::size_t kSize = std::size_t{1} << 20;
  auto array = [](const std::string& piece) {
    std::string text = "{\"a\":[";
    while (text.size() < kSize) text += piece;
    return text + "0]}";
  };
  // Each text with the bytes it may cost per input byte.
  const std::pair<std::string, std::size_t> cases[] = {
      {"{\"a\":" + std::string(kSize, '['), 0},
      {array("1,"), 32},
      {array("[],"), 32},
      {array("\"\","), 32},
  };
  for (const auto& [text, bytesPerInputByte] : cases) {
    testing::StartAllocationSpan();
    Element document;
    try {
      Reader::Read(text.c_str(), document);
    } catch (const Exception&) {
    }
    document = Element();
    EXPECT_LE(testing::AllocationSpanPeak(), bytesPerInputByte * kSize + 65536)
        << text.substr(0, 8);
  }
}

}  // namespace
}  // namespace Halden::json
