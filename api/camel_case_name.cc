#include "api/camel_case_name.h"

#include "util/ascii_case.h"
#include "util/format.h"

namespace Halden {

std::string CamelCaseName(std::string_view method, std::string_view path) {
  std::string words;
  if (!method.empty()) {
    const std::string rest = LowerAscii(method.substr(1));
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
        name += capitalise ? UpperAscii(c) : c;
        capitalise = false;
        break;
    }
  }
  return name;
}

}  // namespace Halden
