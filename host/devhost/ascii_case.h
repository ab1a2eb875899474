// Case folding of the ASCII letters in HTTP names (header names, hosts,
// schemes), whatever the locale.
#pragma once

#include <string>

namespace Halden::devhost {

inline std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace Halden::devhost
