#include "logging/log_template.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace Halden {
namespace {

TEST(LogTemplateTest, TurnsTemplatesIntoPositionalFormatsAndFields) {
  const LogValue get = LogValue::Text("GET"), url = LogValue::Text("/x");
  const LogValue reason = LogValue::Text("reason"), empty = LogValue::Text("");
  struct Case {
    const char* templateText;
    std::vector<LogValue> arguments;
    const char* positional;
    const char* text;
    std::vector<std::string> fields;
  } cases[] = {
      {"Error response for {method} {url}: {error}",
       {get, url, reason},
       "Error response for %1 %2: %3",
       "Error response for GET /x: reason",
       {"error", "method", "url"}},
      {"{#count} {#size} {#ok} {#no} {#ratio} {#name}",
       {LogValue::Signed(-3), LogValue::Unsigned(7), LogValue::Bool(true), LogValue::Bool(false),
        LogValue::Float(0.5), get},
       "%1 %2 %3 %4 %5 %6",
       "-3 7 1 0 0.5 GET",
       {"count_int", "name_str", "no_bool", "ok_bool", "ratio_float", "size_int"}},
      {"{#start_time} {#a_b} {#n_long} {#c_int}",
       {get, url, LogValue::Signed(1), LogValue::Signed(3)},
       "%1 %2 %3 %4",
       "GET /x 1 3",
       {"a_b_str", "c_int", "n_long", "start_time"}},
      {"[{count:5d}]", {LogValue::Signed(7)}, "[%1$5d]", "[    7]", {"count"}},
      {"{{literal}} } {{}}", {}, "{literal} } {}", "{literal} } {}", {}},
      {"100%% {x}", {get}, "100%% %1", "100% GET", {"x"}},
      {"50%%", {}, "50%%", "50%", {}},
      {"{n} %d {m}", {get, LogValue::Signed(5), url}, "%1 %2$d %3", "GET 5 /x", {"m", "n"}},
      {"%s, %2$s", {get, url}, "%1$s, %2$s", "GET, /x", {}},
      {"%$d", {get}, "%1$$d", "GETd", {}},
      {"{a?none} {b?none} {c?50%} {n?zero} {r?zero} {value}",
       {empty, reason, LogValue::Unsigned(0), LogValue::Signed(0), LogValue::Float(0.0), empty},
       "none %2 50%% zero zero %6",
       "none reason 50% zero zero ",
       {"b", "value"}},
      {"Saved \t{id!}", {LogValue::Signed(9)}, "Saved", "Saved", {"id"}},
      {"{a}9 {b}$", {LogValue::Signed(1), get}, "%1$s9 %2$s$", "19 GET$", {"a", "b"}},
      // Text that comes to stand right behind a reference closes it too.
      {"{a} {b!}0", {LogValue::Signed(1), get}, "%1$s0", "10", {"a", "b"}},
      {"{a}{b?7}", {get, empty}, "%1$s7", "GET7", {"a"}},
      {"{a}{missing}5", {get}, "%1$s5", "GET5", {"a"}},
      {"{a\\:b\\}}", {get}, "%1", "GET", {"a:b}"}},
      {"{}", {get}, "%1", "GET", {}},
      {"{a{b}", {get}, "%1", "GET", {"ab"}},
      {"{missing} and %d", {}, " and ", " and ", {}},
      {"cut {unterminated", {get}, "cut ", "cut ", {}},
      {"cut %-5", {get}, "cut ", "cut ", {}},
  };
  for (const Case& c : cases) {
    LogFields fields;
    EXPECT_EQ(TemplateToPositional(c.templateText, c.arguments, &fields), c.positional)
        << c.templateText;
    std::vector<std::string> names;
    for (const auto& field : fields) names.push_back(field.first);
    EXPECT_EQ(names, c.fields) << c.templateText;
    std::string text;
    LogFields formattedFields;
    FormatTemplate(c.templateText, c.arguments, &text, &formattedFields);
    EXPECT_EQ(text, c.text) << c.templateText;
  }
  // A template is read up to the end of its view, whatever follows there.
  for (const char* longer : {"ab%%", "a{{", "{a}", "%12"}) {
    const std::string_view cut(longer, std::strlen(longer) - 1);
    EXPECT_EQ(TemplateToPositional(cut, {&get, 1}, nullptr), cut.substr(0, cut.find_first_of("%{")))
        << longer;
  }
}

}  // namespace
}  // namespace Halden
