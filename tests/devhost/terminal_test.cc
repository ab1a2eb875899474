#include "host/devhost/terminal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <tuple>

namespace Halden::devhost {
namespace {

TEST(Terminal, LevelsQuietAndControlCharacters) {
  const std::tuple<bool, uint32_t, const char*, const char*> cases[] = {
      {true, 1, "warned", ""},
      {true, 2, "failed", " ERROR| failed\n"},
      {true, 3, "serving", "ALWAYS| serving\n"},
      {false, 2, "two\nlines \x1b[2J\r\x7f\x1f", " ERROR| two?lines ?[2J???\n"},
      {false, 0, "GET /x\xff 404", "  OKAY| GET /x\xEF\xBF\xBD 404\n"},
      // C1 controls (U+0080 to U+009F) command a terminal too; U+00A0 does not.
      {false, 0, "a\xC2\x9B[2J\xC2\x9F\xC2\xA0", "  OKAY| a?[2J?\xC2\xA0\n"},
  };
  for (const auto& [quiet, level, text, shown] : cases) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    Terminal(file, quiet).Line(level, text);
    // What reached the file, past the stream's own buffer.
    char buffer[256] = {};
    const ssize_t length = pread(fileno(file), buffer, sizeof buffer - 1, 0);
    std::fclose(file);
    EXPECT_EQ(std::string(buffer, std::max<ssize_t>(length, 0)), shown) << text;
  }
}

}  // namespace
}  // namespace Halden::devhost
