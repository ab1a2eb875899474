#include "host/devhost/terminal.h"

#include "host/devhost/valid_utf8.h"

namespace Halden::devhost {

void Terminal::Line(uint32_t level, const std::string& text) {
  if (!Shows(level)) return;
  // Texts come from the network and the plugin: a control character could
  // break the line or command the terminal, and bytes that are not UTF-8
  // garble it.
  std::string shown = ValidUtf8(text);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  std::lock_guard guard(lock);
  std::fprintf(out, "%s| %s\n", LevelName(level), shown.c_str());
  std::fflush(out);
}

}  // namespace Halden::devhost
