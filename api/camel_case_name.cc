#include "api/camel_case_name.h"

#include "util/format.h"

namespace Halden {

namespace {

// Plain ASCII, so that the process locale cannot change a function's name.
char ToUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char ToLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string CamelCaseName(std::string_view method, std::string_view path) {
  std::string words;
  if (!method.empty()) {
    std::string rest(method.substr(1));
    for (char& c : rest) c = ToLower(c);
    words = FormatMessage("%1%2/", method.front(), rest);
  }
  words += path;

  std::string name;
  bool capitalise = true;
  for (char c : words) {
    switch (c) {
      case '!':
      case '+':
      case '-':
      case '.':
      case '/':
      case '_':
        capitalise = true;
        break;
      case '{':
        name += "By";
        capitalise = true;
        break;
      case '}':
        break;
      default:
        name += capitalise ? ToUpper(c) : c;
        capitalise = false;
        break;
    }
  }
  return name;
}

}  // namespace Halden
