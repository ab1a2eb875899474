// Case folding of the ASCII letters only. Names, header names, media types
// and locales must compare and print the same whatever locale the host has
// set, which the C library's case functions do not promise.
#pragma once

#include <string>
#include <string_view>

namespace Halden {

constexpr char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string LowerAscii(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = LowerAscii(c);
  return lowered;
}

}  // namespace Halden
