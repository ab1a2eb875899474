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
      {"{#count}", {LogValue::Signed(-3)}, "%1", "-3", {"count_int"}},
      {"{#count_int}", {LogValue::Signed(3)}, "%1", "3", {"count_int"}},
      {"{#size}", {LogValue::Unsigned(7)}, "%1", "7", {"size_int"}},
      {"{#ok}", {LogValue::Bool(true)}, "%1", "1", {"ok_bool"}},
      {"{#ok}", {LogValue::Bool(false)}, "%1", "0", {"ok_bool"}},
      {"{#ratio}", {LogValue::Float(0.5)}, "%1", "0.5", {"ratio_float"}},
      {"{#name}", {get}, "%1", "GET", {"name_str"}},
      {"{#start_time} {#a_b} {#n_long}",
       {get, url, LogValue::Signed(1)},
       "%1 %2 %3",
       "GET /x 1",
       {"a_b_str", "n_long", "start_time"}},
      {"[{count:5d}]", {LogValue::Signed(7)}, "[%1$5d]", "[    7]", {"count"}},
      {"{{literal}} } {{}}", {}, "{literal} } {}", "{literal} } {}", {}},
      {"100%% {x}", {get}, "100%% %1", "100% GET", {"x"}},
      {"50%%", {}, "50%%", "50%", {}},
      {"{n} %d {m}", {get, LogValue::Signed(5), url}, "%1 %2$d %3", "GET 5 /x", {"m", "n"}},
      {"%s, %2$s", {get, url}, "%1$s, %2$s", "GET, /x", {}},
      {"%$d", {get}, "%1$$d", "GETd", {}},
      {"{value?none}", {empty}, "none", "none", {}},
      {"{value?none}", {reason}, "%1", "reason", {"value"}},
      {"{value?50%}", {LogValue::Unsigned(0)}, "50%%", "50%", {}},
      {"{n?zero}", {LogValue::Signed(0)}, "zero", "zero", {}},
      {"{r?zero}", {LogValue::Float(0.0)}, "zero", "zero", {}},
      {"{value}", {empty}, "%1", "", {"value"}},
      {"Saved \t{id!}", {LogValue::Signed(9)}, "Saved", "Saved", {"id"}},
      {"{a}9 {b}$", {LogValue::Signed(1), get}, "%1$s9 %2$s$", "19 GET$", {"a", "b"}},
      // Text that comes to stand right behind a reference closes it too.
      {"{a} {b!}0", {LogValue::Signed(1), get}, "%1$s0", "10", {"a", "b"}},
      {"{a}{b?7}", {get, empty}, "%1$s7", "GET7", {"a"}},
      {"{a}{b?$}", {get, empty}, "%1$s$", "GET$", {"a"}},
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
