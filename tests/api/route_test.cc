#include "api/route.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "api/method.h"
#include "tests/support/small_stack.h"

namespace Halden {
namespace {

std::optional<RouteCaptures> Match(const std::string& pathTemplate, std::string_view path) {
  return MatchRoute({kMethodGet, "", path}, MakeRoute(kMethodGet, "", pathTemplate));
}

TEST(RouteTest, NormalizeTemplate) {
  EXPECT_EQ(NormalizeTemplate("/v1/email/"), "/v1/email");
  EXPECT_EQ(NormalizeTemplate("/v1/email//"), "/v1/email/");
  EXPECT_EQ(NormalizeTemplate("//"), "/");
  EXPECT_EQ(NormalizeTemplate("/"), "/");
  EXPECT_EQ(NormalizeTemplate(""), "");
}

// The captures std::regex gives for the expression, named as MatchRoute does.
std::optional<RouteCaptures> RegexMatch(const RoutePattern& pattern, const std::string& path) {
  const std::regex expression(pattern.expression, std::regex::ECMAScript | std::regex::optimize);
  std::smatch match;
  if (!std::regex_match(path, match, expression)) return std::nullopt;
  RouteCaptures captures;
  for (std::size_t i = 1; i < match.size(); ++i) {
    if (match[i].matched)
      captures[pattern.placeholders[i - 1].name] = PercentDecode(match[i].str());
  }
  return captures;
}

std::vector<std::string> SplitAtSpaces(const std::string& text) {
  std::vector<std::string> words;
  for (std::size_t start = 0, end = 0; start <= text.size(); start = end + 1) {
    end = std::min(text.find(' ', start), text.size());
    words.push_back(text.substr(start, end - start));
  }
  return words;
}

TEST(RouteTest, MatchesLikeTheRegularExpression) {
  const std::vector<std::string> templates = {
      "/v1/items/{id}", "/files/{+path}", "/doc{#frag}", "/{a}/{b}",     "/{a}{b}",
      "/{+a}/{+b}",     "/{+a}{b}",       "/{a}.{b}",    "/{+a}.{+b}",   "/x{#h}/{+r}",
      "/{a}-{+b}-{c}",  "{+a}",           "{a}",         "/v1/{x}.json", "/a.b/{x}",
      "/{a}}/{b}",      "/{a}/x/{+b}/x",  "{#h}{#i}",    "/(){x}[]|^$",  "/{a}\\{+b}",
      "/{a}/{a}"};
  // Space-separated; the first is the empty path.
  const std::vector<std::string> paths = SplitAtSpaces(
      " / /v1/items/42 /v1/items/ /v1/items/42/x /files/a/b/c /files/ /doc#x#y /docx /a/b /a/b/c"
      " /a.b.c /a.b/c.d /x#h/r/s /a-b-c-d /a-b/c-d /a\nb/c /a\rb.c /a%2Fb/c+d /v1/a.json"
      " /v1/a.b.json /a.b/ ab /\xc3\xa4/\xe2\x82\xac /a/x/b/x/c/x ## #a#b#c /()x[]|^$ /a\\b\\c"
      " /a}/b");
  for (const std::string& pathTemplate : templates) {
    const Route route = MakeRoute(kMethodAny, "", pathTemplate);
    for (const std::string& path : paths) {
      EXPECT_EQ(MatchRoute({kMethodGet, "", path}, route), RegexMatch(route.pattern, path))
          << pathTemplate << " " << path;
    }
  }
  // A '{' inside an open placeholder starts it again.
  EXPECT_EQ(Match("/{a{b}", "/x"), (RouteCaptures{{"b", "x"}}));
  // Only a leading '+' or '#' makes the kind; later ones are in the name.
  EXPECT_EQ(Match("/{a+b}/{c#d}", "/x/y"), (RouteCaptures{{"a+b", "x"}, {"c#d", "y"}}));
}

TEST(RouteTest, LongPathsOnASmallStack) {
  const std::string segment(std::size_t{1} << 20, 'x');
  std::string rest;
  while (rest.size() < segment.size()) rest += "a/";
  EXPECT_TRUE(testing::RunOnSmallStack([&] {
    EXPECT_EQ(Match("/files/{+path}", "/files/" + rest), (RouteCaptures{{"path", rest}}));
    EXPECT_EQ(Match("/v1/items/{id}", "/v1/items/" + segment), (RouteCaptures{{"id", segment}}));
    EXPECT_EQ(Match("/v1/items/{id}", "/v1/items/" + segment + "/"), std::nullopt);
    EXPECT_EQ(Match("/{+a}/{b}", "/" + rest + "b"),
              (RouteCaptures{{"a", rest.substr(0, rest.size() - 1)}, {"b", "b"}}));
  }));
}

TEST(RouteTest, PercentDecode) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},         {"a+b", "a b"},
      {"a%20b", "a b"}, {"%2f%2F", "//"},
      {"%41%7a", "Az"}, {"%", ""},
      {"%4", "4"},      {"a%", "a"},
      {"a%4", "a4"},    {std::string("%00x", 4), std::string("\0x", 2)},
      {"%39%46", "9F"}, {"%4G", "@"},
      {"%4A", "J"},     {"100%25", "100%"}};
  for (const auto& [text, decoded] : cases) {
    // Exactly sized copies, so that a read past the end is a sanitizer error.
    const auto buffer = std::make_unique<char[]>(text.size());
    text.copy(buffer.get(), text.size());
    EXPECT_EQ(PercentDecode(std::string_view(buffer.get(), text.size())), decoded) << text;
  }
}

// The host's method names, read back into their codes.
TEST(MethodTest, CodesAndNamesAreInverse) {
  for (uint32_t code = kMethodDelete; code <= kMethodPut; ++code) {
    EXPECT_EQ(MethodCode(MethodName(code)), code) << code;
  }
  EXPECT_EQ(MethodCode("get"), 0u);
}

}  // namespace
}  // namespace Halden
