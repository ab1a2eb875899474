#include "api/route.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "api/method.h"

namespace Halden {

namespace {

class TemplateConverter {
 public:
  RoutePattern Convert(std::string_view pathTemplate) {
    for (char c : pathTemplate) {
      if (c == '{') {
        state = RoutePlaceholder::kSegment;
        name.clear();
      } else if (c == '}') {
        ClosePlaceholder();
      } else if (state == RoutePlaceholder::kNone) {
        if (std::string_view("^$.*+?()[]|\\").find(c) != std::string_view::npos) {
          pattern.expression += '\\';
        }
        pattern.expression += c;
        literal += c;
      } else if (state == RoutePlaceholder::kSegment && name.empty() && c == '+') {
        state = RoutePlaceholder::kRest;
      } else if (state == RoutePlaceholder::kSegment && name.empty() && c == '#') {
        state = RoutePlaceholder::kHash;
      } else {
        name += c;
      }
    }
    FlushLiteral();
    return std::move(pattern);
  }

 private:
  void ClosePlaceholder() {
    switch (state) {
      case RoutePlaceholder::kNone:
        break;
      case RoutePlaceholder::kSegment:
        pattern.expression += "([^/]*)";
        AddCapture(RoutePiece::kSegment);
        break;
      case RoutePlaceholder::kRest:
        pattern.expression += "(.*)";
        AddCapture(RoutePiece::kRest);
        break;
      case RoutePlaceholder::kHash:
        pattern.expression += "#(.*)";
        literal += '#';
        AddCapture(RoutePiece::kRest);
        break;
    }
    pattern.placeholders.push_back({state, std::move(name)});
    state = RoutePlaceholder::kNone;
    name.clear();
  }

  void AddCapture(RoutePiece::Kind kind) {
    FlushLiteral();
    pattern.pieces.push_back({kind, {}});
  }

  void FlushLiteral() {
    if (literal.empty()) return;
    pattern.pieces.push_back({RoutePiece::kLiteral, std::move(literal)});
    literal.clear();
  }

  RoutePattern pattern;
  RoutePlaceholder::Kind state = RoutePlaceholder::kNone;
  std::string name;
  std::string literal;
};

// The characters a capture may take: "[^/]" or ECMAScript's ".".
bool Takes(RoutePiece::Kind kind, char c) {
  if (kind == RoutePiece::kSegment) return c != '/';
  return c != '\n' && c != '\r';
}

// A full match of the pieces with the captures a backtracking ECMAScript
// matcher would give: each capture as long as possible, earlier captures
// first. Instead of backtracking, one table per piece records from which path
// offsets the rest of the pieces can still match, filled from the end.
std::optional<std::vector<std::string_view>> MatchPieces(const std::vector<RoutePiece>& pieces,
                                                         std::string_view path) {
  const std::size_t length = path.size();
  // matches[j][p]: pieces j, j+1, ... match path[p...] to its end.
  std::vector<std::vector<bool>> matches(pieces.size() + 1, std::vector<bool>(length + 1));
  matches[pieces.size()][length] = true;
  for (std::size_t j = pieces.size(); j-- > 0;) {
    const RoutePiece& piece = pieces[j];
    std::vector<bool>& row = matches[j];
    const std::vector<bool>& next = matches[j + 1];
    if (piece.kind == RoutePiece::kLiteral) {
      const std::size_t size = piece.text.size();
      for (std::size_t p = 0; p + size <= length; ++p) {
        row[p] = next[p + size] && path.compare(p, size, piece.text) == 0;
      }
      continue;
    }
    row[length] = next[length];
    for (std::size_t p = length; p-- > 0;) {
      row[p] = next[p] || (Takes(piece.kind, path[p]) && row[p + 1]);
    }
  }
  if (!matches[0][0]) return std::nullopt;

  std::vector<std::string_view> captures;
  std::size_t position = 0;
  for (std::size_t j = 0; j < pieces.size(); ++j) {
    const RoutePiece& piece = pieces[j];
    if (piece.kind == RoutePiece::kLiteral) {
      position += piece.text.size();
      continue;
    }
    std::size_t end = position;
    while (end < length && Takes(piece.kind, path[end])) ++end;
    while (!matches[j + 1][end]) --end;
    captures.push_back(path.substr(position, end - position));
    position = end;
  }
  return captures;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

}  // namespace

RoutePattern TemplateToRegex(std::string_view pathTemplate) {
  return TemplateConverter().Convert(pathTemplate);
}

std::string NormalizeTemplate(std::string_view pathTemplate) {
  if (pathTemplate.size() > 1 && pathTemplate.back() == '/') pathTemplate.remove_suffix(1);
  return std::string(pathTemplate);
}

Route MakeRoute(std::uint32_t methodCode, std::string_view methodName,
                std::string_view pathTemplate) {
  Route route{methodCode, std::string(methodName), std::nullopt, {}};
  if (pathTemplate.find('{') == std::string_view::npos) {
    route.literalTemplate = std::string(pathTemplate);
  } else {
    route.pattern = TemplateToRegex(pathTemplate);
  }
  return route;
}

std::optional<RouteCaptures> MatchRoute(const CallKey& key, const Route& route) {
  if (route.methodCode != kMethodAny &&
      (key.methodCode != route.methodCode || key.methodName != route.methodName)) {
    return std::nullopt;
  }
  if (route.literalTemplate) {
    if (key.path != *route.literalTemplate) return std::nullopt;
    return RouteCaptures();
  }
  const auto groups = MatchPieces(route.pattern.pieces, key.path);
  if (!groups) return std::nullopt;
  RouteCaptures captures;
  for (std::size_t i = 0; i < groups->size(); ++i) {
    captures[route.pattern.placeholders[i].name] = PercentDecode((*groups)[i]);
  }
  return captures;
}

std::string PercentDecode(std::string_view text) {
  // Most names and values need no decoding.
  if (std::none_of(text.begin(), text.end(), [](char c) { return c == '%' || c == '+'; })) {
    return std::string(text);
  }
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      decoded += ' ';
    } else if (c != '%') {
      decoded += c;
    } else if (text.size() - i > 2) {
      decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    }
  }
  return decoded;
}

}  // namespace Halden
