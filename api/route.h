// Path templates of endpoint functions ("/v1/items/{id}"), their regular
// expressions, and the matching of an incoming call against them.
//
// Template syntax: literal characters, and placeholders in braces:
//   {name}   one path segment, possibly empty: "([^/]*)"
//   {+name}  the rest of the path, "/" included, possibly empty: "(.*)"
//   {#name}  a "#" followed by anything: "#(.*)"
// The "+" or "#" counts only as the first character inside the braces.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Halden {

// One placeholder of a template, in the order of the capture groups. A "}"
// outside a placeholder adds one of kind kNone that has no capture group.
struct RoutePlaceholder {
  enum Kind : std::uint32_t { kNone = 0, kSegment = 1, kRest = 2, kHash = 3 };

  Kind kind;
  std::string name;

  bool operator==(const RoutePlaceholder&) const = default;
};

// One piece of a template as the matcher sees it: a literal run (with the "#"
// of a hash placeholder), or a capture of any characters but "/" (kSegment)
// or of any characters but line feed and carriage return (kRest, what "." in
// the expression matches).
struct RoutePiece {
  enum Kind { kLiteral, kSegment, kRest };

  Kind kind;
  std::string text;  // kLiteral only

  bool operator==(const RoutePiece&) const = default;
};

// A template converted: the ECMAScript expression that describes it, its
// placeholders, and the same pattern as pieces, which MatchRoute uses.
struct RoutePattern {
  std::string expression;
  std::vector<RoutePlaceholder> placeholders;
  std::vector<RoutePiece> pieces;
};

// Converts a template: literal characters among "^$.*+?()[]|\" are escaped
// with a backslash, placeholders become capture groups. Unclosed or nested
// braces are not rejected.
RoutePattern TemplateToRegex(std::string_view pathTemplate);

// The template as stored at registration: one trailing "/" is dropped from a
// template longer than one character ("/v1/email/" gives "/v1/email", "/"
// stays).
std::string NormalizeTemplate(std::string_view pathTemplate);

// What an incoming call is matched against, built from an endpoint
// function's method and template.
struct Route {
  std::uint32_t methodCode;
  std::string methodName;  // empty unless methodCode is kMethodNamed
  // Set when the template has no "{": the path must equal it exactly.
  std::optional<std::string> literalTemplate;
  // Otherwise the converted template.
  RoutePattern pattern;
};

Route MakeRoute(std::uint32_t methodCode, std::string_view methodName,
                std::string_view pathTemplate);

// An incoming call: its method code, the method name (empty unless the code
// is kMethodNamed) and the path exactly as the host gives it, query included.
struct CallKey {
  std::uint32_t methodCode;
  std::string_view methodName;
  std::string_view path;
};

// Values captured from a path, percent-decoded, by placeholder name.
using RouteCaptures = std::map<std::string, std::string>;

// Matches a call against a route: a route of method code kMethodAny accepts
// every method, another needs the same code and method name. The whole path
// must match: byte for byte a literal template, or else the pattern, with the
// results of a full ECMAScript match of the expression (greedy captures,
// earlier ones first). Returns the captures of a match, nullopt otherwise.
// Uses no recursion, whatever the path: one bit per path byte and template
// piece, and time in proportion to the path's length times the template's.
std::optional<RouteCaptures> MatchRoute(const CallKey& key, const Route& route);

// Decodes a path segment or query text: "+" gives a space, "%" and two
// hexadecimal digits give that byte; a "%" with fewer than two characters
// after it is dropped.
std::string PercentDecode(std::string_view text);

}  // namespace Halden
