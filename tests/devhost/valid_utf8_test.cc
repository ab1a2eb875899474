#include "host/devhost/valid_utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace Halden::devhost {
namespace {

TEST(ValidUtf8, ReplacesEachIllFormedPartAsBrowsersDecode) {
  const std::string r = "\xEF\xBF\xBD";
  const std::string valid = std::string("plain a\0b \xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF", 20) +
                            "\xF0\x90\x80\x80\xED\x9F\xBF\xF4\x8F\xBF\xBF\xE2\x82\xAC";
  const std::pair<std::string, std::string> cases[] = {
      // Kept whole: the first and last sequences of each length, and those beside the surrogates.
      {valid, valid},
      {"x\xFFy", "x" + r + "y"},
      {"\x80\x80", r + r},
      {"end\xE2\x82", "end" + r},
      {"\xE2\x82x", r + "x"},
      {"\xC3\xC0", r + r},  // no continuation byte
      {"\xE2\x82\x7F", r + "\x7F"},
      {"\xC0\xAF", r + r},  // overlong "/"
      {"\xC1\xBF", r + r},
      {"\xE0\x9F\xBF", r + r + r},          // the last overlong three-byte sequence
      {"\xF0\x8F\xBF\xBF", r + r + r + r},  // and four-byte one
      {"\xED\xA0\x80", r + r + r},          // a surrogate
      {"\xF4\x90\x80\x80", r + r + r + r},  // past U+10FFFF
      {"\xF5\x80\x80\x80", r + r + r + r},  // no lead past 0xF4
      {"\xF0\x9F\x98", r},
  };
  for (const auto& [text, valid] : cases) {
    // Followed by a byte that must not be read.
    const std::string padded = text + "\x80";
    EXPECT_EQ(ValidUtf8(std::string_view(padded.data(), text.size())), valid) << text;
  }
}

}  // namespace
}  // namespace Halden::devhost
