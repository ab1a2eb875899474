#include "util/format.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <utility>

namespace Halden {
namespace {

struct Version {
  uint32_t major, minor, patch;
};

std::string ToFormatText(const Version& v) {
  return FormatMessage("%1.%2.%3", v.major, v.minor, v.patch);
}

struct Case {
  const char* what;
  std::string actual;
  std::string expected;
};

TEST(FormatMessageTest, FormatsByKindAndPosition) {
  const std::string text = "abc";
  const char* null = nullptr;
  const Case cases[] = {
      {"reverse order", FormatMessage("%2 %1", text, 42u), "42 abc"},
      {"repeated", FormatMessage("%1 %1", text), "abc abc"},
      {"d on a string becomes s", FormatMessage("[%1$5d]", text), "[  abc]"},
      {"x on uint32, z dropped", FormatMessage("%1$zx", 255u), "ff"},
      {"x on double becomes g", FormatMessage("%1$x", 2.5), "2.5"},
      {"doubled percent", FormatMessage("100%% %1", 1), "100% 1"},
      {"%3 is not a position", FormatMessage("%3 x", std::string("ab"), text), " abx"},
      {"n never writes", FormatMessage("%1$n|%n", 17), "17|17"},
      {"sequential directives", FormatMessage("%s-%d", "a", 5), "a-5"},
      {"int32 bare", FormatMessage("%1", -12), "-12"},
      {"int64 bare", FormatMessage("%1", int64_t{-9000000000}), "-9000000000"},
      {"uint64 bare", FormatMessage("%1", uint64_t{18000000000000000000u}), "18000000000000000000"},
      {"char prints a character", FormatMessage("%1", 'A'), "A"},
      {"signed char", FormatMessage("%1$d %1$hhx", static_cast<signed char>(-2)), "-2 fe"},
      {"unsigned char is a number", FormatMessage("%1", static_cast<unsigned char>(65)), "65"},
      {"bool as int", FormatMessage("%1 %2", true, false), "1 0"},
      {"double bare", FormatMessage("%1", 0.25), "0.25"},
      {"double precision", FormatMessage("%1$.3f", 1.0), "1.000"},
      {"empty c string", FormatMessage("'%1'", ""), "''"},
      {"null c string", FormatMessage("%1", null), "(null)"},
      {"string_view", FormatMessage("%1", std::string_view("view")), "view"},
      {"ToFormatText", FormatMessage("v%1", Version{18, 0, 2}), "v18.0.2"},
      {"s on an int becomes d", FormatMessage("%1$s", 7), "7"},
      {"long modifier on int32 reads 32 bits", FormatMessage("%1$lld", -7), "-7"},
      {"wide modifier on a string", FormatMessage("%1$ls", text), "abc"},
      {"hh narrows an int32", FormatMessage("%1$hhx", 0x1ff), "ff"},
      {"hh narrows a uint32", FormatMessage("%1$hhu", 0x1ffu), "255"},
      {"int64 c conversion", FormatMessage("%1$c", int64_t{66}), "B"},
      {"star width from argument 2", FormatMessage("[%1$*2$s]", text, 5), "[  abc]"},
      {"sequential star width", FormatMessage("[%*s]", -4, "ab"), "[ab  ]"},
      {"star precision", FormatMessage("[%1$.*2$f]", 3.14159, 2), "[3.14]"},
      {"int64 star takes low 32 bits", FormatMessage("[%1$*2$d]", 1, int64_t{0x100000003}),
       "[  1]"},
      {"uint64 star", FormatMessage("[%1$*2$d]", 1, uint64_t{0x100000003}), "[  1]"},
      {"uint32 star", FormatMessage("[%1$*2$d]", 7, 3u), "[  7]"},
      {"star from a char", FormatMessage("[%1$*2$d]", 7, '\3'), "[  7]"},
      {"star digits without $ are no position", FormatMessage("[%*2d]", 3, 7), "[  7d]"},
      {"star from a string stops", FormatMessage("a%1$*2$db", 1, "x"), "a"},
      {"star from a std::string stops", FormatMessage("a%1$*2$db", 1, text), "a"},
      {"star from a double stops", FormatMessage("a%1$*2$db", 1, 2.0), "a"},
      {"h dropped from an int64", FormatMessage("%1$hd", int64_t{70000}), "70000"},
      {"h dropped from a uint64", FormatMessage("%1$hu", uint64_t{70000}), "70000"},
      {"a position beyond the list is a width", FormatMessage("a%10$sb", 1), "a         1sb"},
      {"sequential past the end stops", FormatMessage("%s %s!", "x"), "x "},
      {"unterminated directive stops", FormatMessage("a%-5", 1), "a"},
      {"negative precision digits", FormatMessage("%1$.-2s", text), "ab"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected) << c.what;
}

std::string Posix(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Posix(const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

TEST(FormatMessageTest, MatchesPosixPositionalOutput) {
#if defined(_WIN32)
  GTEST_SKIP() << "the Windows C runtime's snprintf has no positional arguments";
#endif
  const std::string name = "name";
  const Case cases[] = {
      {"swap", FormatMessage("%2$s=%1$d", 42, name), Posix("%2$s=%1$d", 42, "name")},
      {"flags", FormatMessage("%1$-6d|%1$+05d|%1$#x", 42), Posix("%1$-6d|%1$+05d|%1$#x", 42)},
      {"precision", FormatMessage("%2$.2s|%1$8.3e", 1234.5, name),
       Posix("%2$.2s|%1$8.3e", 1234.5, "name")},
      {"star", FormatMessage("%1$*2$s|%1$-*2$s|", name, 7), Posix("%1$*2$s|%1$-*2$s|", "name", 7)},
      {"uint64 hex", FormatMessage("%1$016llX", uint64_t{0xABCDEF0123}),
       Posix("%1$016llX", 0xABCDEF0123ull)},
      {"octal", FormatMessage("%1$#o %2$u", 8, 4000000000u), Posix("%1$#o %2$u", 8, 4000000000u)},
      {"two stars", FormatMessage("%1$*2$.*3$f|", 3.14159, 8, 2),
       Posix("%1$*2$.*3$f|", 3.14159, 8, 2)},
  };
  for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected) << c.what;
}

TEST(FormatTest, StopsAtTheEndOfTheBuffer) {
  const std::string literal(5000, 'a');
  EXPECT_EQ(FormatMessage(literal.c_str(), 1), std::string(4095, 'a'));
  EXPECT_EQ(FormatMessage("%1", std::string(5000, 'b')), std::string(4095, 'b'));

  const uint32_t parts[] = {18, 0, 11};
  const FormatArgDescriptor u = FormatDescriptorOf(FormatKind::kUint32);
  const FormatArgDescriptor descriptors[] = {u, u, u};
  const void* arguments[] = {&parts[0], &parts[1], &parts[2]};
  char buffer[33];
  EXPECT_EQ(Format(buffer, sizeof buffer, "%1.%2.%3", descriptors, arguments, 3), 7u);
  EXPECT_STREQ(buffer, "18.0.11");
  // A star from argument 0 stops, never reading what lies before the list.
  EXPECT_EQ(Format(buffer, sizeof buffer, "a%1$*0$ub", descriptors + 1, arguments + 1, 2), 1u);

  char small[5] = "zzzz";
  EXPECT_EQ(Format(small, sizeof small, "%1.%2.%3", descriptors, arguments, 3), 4u);
  EXPECT_STREQ(small, "18.0");
  EXPECT_EQ(Format(small, 3, "%1$5u", descriptors, arguments, 3), 2u);
  EXPECT_STREQ(small, "  ");
  EXPECT_EQ(Format(small, 1, "x", descriptors, arguments, 3), 0u);
  EXPECT_STREQ(small, "");
  EXPECT_EQ(Format(small, 0, "x", descriptors, arguments, 3), 0u);
  // Cut inside a directive after some text: nothing written past the size.
  char guarded[12] = "zzzzzzzzzzz";
  EXPECT_EQ(Format(guarded, 5, "a%1$5u", descriptors, arguments, 3), 4u);
  EXPECT_EQ(std::string(guarded, sizeof guarded), std::string("a   \0zzzzzz\0", 12));
}

TEST(FormatTest, LimitsTheWorkingDirective) {
  // "%", the flags, "5" and the conversion: 59 characters still format, 60 stop.
  const std::string fits = "<%" + std::string(56, '-') + "5d>";
  const std::string tooLong = "<%" + std::string(57, '-') + "5d>";
  EXPECT_EQ(FormatMessage(fits.c_str(), 7), "<7    >");
  EXPECT_EQ(FormatMessage(tooLong.c_str(), 7), "<");
  // So does a width or precision beyond a message's size, given or taken.
  for (const char* tooWide : {"a%1$99999999999db", "a%1$4097db", "a%1$.4097db"}) {
    EXPECT_EQ(FormatMessage(tooWide, 7), "a") << tooWide;
  }
  for (int star : {4097, -4097}) EXPECT_EQ(FormatMessage("a%1$*2$db", 7, star), "a") << star;
  const std::pair<const char*, int> edges[] = {
      {"%1$-4096d", 0}, {"%1$-*2$d", 4096}, {"%1$*2$d", -4096}};
  for (const auto& [edge, star] : edges) {
    EXPECT_EQ(FormatMessage(edge, 7, star), "7" + std::string(4094, ' ')) << edge;
  }
}

}  // namespace
}  // namespace Halden
