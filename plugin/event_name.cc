#include "plugin/event_name.h"

namespace Halden {

std::string EventNameForUri(std::string_view uri) {
  std::string name = "OnJsonApiEvent";
  std::size_t entries = 1;
  std::size_t limit = 4;
  while (!uri.empty()) {
    const std::size_t slash = uri.find('/');
    const std::string_view piece = uri.substr(0, slash);
    uri.remove_prefix(slash == std::string_view::npos ? uri.size() : slash + 1);
    if (piece.empty()) continue;
    if (entries == 1 && piece == "qor-platform-config") limit = 6;
    if (entries == limit) break;
    name += '_';
    name += piece;
    ++entries;
  }
  return name;
}

bool MatchesUriPattern(std::string_view pattern, std::string_view uri) {
  std::size_t p = 0;
  std::size_t u = 0;
  while (p < pattern.size() && u < uri.size()) {
    if (pattern[p] != '*') {
      if (pattern[p] != uri[u]) return false;
      ++p;
      ++u;
    } else if (uri[u] == '/') {
      ++p;  // the star ends; the "/" is matched next
    } else if (++u == uri.size()) {
      ++p;
    }
  }
  return p == pattern.size() && u == uri.size();
}

}  // namespace Halden
