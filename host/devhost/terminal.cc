#include "host/devhost/terminal.h"

#include "host/devhost/valid_utf8.h"

namespace Halden::devhost {

void Terminal::Line(uint32_t level, const std::string& text) {
  if (!Shows(level)) return;
  // Texts come from the network and the plugin: a control character could
  // break the line or command the terminal, and bytes that are not UTF-8
  // garble it. The C1 controls, U+0080 to U+009F, are 0xC2 and a byte
  // below 0xA0 in UTF-8.
  const std::string valid = ValidUtf8(text);
  std::string shown;
  for (std::size_t i = 0; i < valid.size(); ++i) {
    const unsigned char c = valid[i];
    const bool c1 = c == 0xC2 && static_cast<unsigned char>(valid[i + 1]) < 0xA0;
    shown += c < 0x20 || c == 0x7f || c1 ? '?' : valid[i];
    if (c1) ++i;
  }
  std::lock_guard guard(lock);
  std::fprintf(out, "%s| %s\n", LevelName(level), shown.c_str());
  std::fflush(out);
}

}  // namespace Halden::devhost
