#include "formats/property_to_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "binding/registry.h"
#include "binding/static_type.h"
#include "formats/internal/json_text.h"
#include "tests/binding/conversion_test_support.h"

namespace Halden {
namespace {

using binding_test::Describe;

enum class Shade : int32_t { Light = 1, Dark = -3 };

// {text: text} through `Writer`, texts longer than `longest` written raw.
template <typename Writer>
std::string Written(std::string_view text, std::size_t longest) {
  rapidjson::StringBuffer buffer;
  Writer writer(buffer);
  writer.StartObject();
  internal::WriteJsonText(writer, text, true, longest);
  internal::WriteJsonText(writer, text, false, longest);
  writer.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

TEST(PropertyToJsonTest, WritesScalars) {
  BindingRegistry registry;
  registry.RegisterType(sizeof(Shade), "Shade", StaticTypeOf<Shade>(), true)
      .AddEnumerator("Light", 1, "")
      .AddEnumerator("Dark", -3, "");
  const auto shade = [](int32_t number) {
    return BindingProperty().SetEnum({number, &StaticTypeOf<Shade>()});
  };
  const auto bytes = [](const std::string& text) {
    return BindingProperty().SetBlob(std::vector<uint8_t>(text.begin(), text.end()));
  };
  const std::pair<BindingProperty, const char*> cases[] = {
      {BindingProperty(), ""},
      {BindingProperty().SetBool(true), "true"},
      {BindingProperty().SetSigned(std::numeric_limits<int64_t>::min()), "-9223372036854775808"},
      {BindingProperty().SetUnsigned(std::numeric_limits<uint64_t>::max()), "18446744073709551615"},
      {BindingProperty().SetFloat(1), "1.0"},
      {BindingProperty().SetFloat(-0.0), "-0.0"},
      {BindingProperty().SetFloat(-1.5e300), "-1.5e300"},
      // Digits enough to read back as the same double.
      {BindingProperty().SetFloat(0.30000000000000004), "0.30000000000000007"},
      {BindingProperty().SetFloat(5e-324), "5e-324"},
      {BindingProperty().SetFloat(std::nan("")), "null"},
      {BindingProperty().SetString(std::string("\"\\/\b\t\n\f\r\x01\x1f\x7f\xc3\xa9", 13)),
       "\"\\\"\\\\/\\b\\t\\n\\f\\r\\u0001\\u001F\x7f\xc3\xa9\""},
      // An embedded NUL, which the MessagePack reader keeps, is escaped.
      {BindingProperty().SetString(std::string("a\0b", 3)), "\"a\\u0000b\""},
      {bytes(""), "\"\""},
      {bytes("Ma"), "\"TWE=\""},
      {bytes(std::string("\xfb\xff\xbf\x00", 4)), "\"+/+/AA==\""},
      {shade(-3), "\"Dark\""},
      {shade(2), "2"},
  };
  for (const auto& [value, expected] : cases) {
    EXPECT_EQ(PropertyToJson(value, &registry, nullptr), expected) << Describe(value);
  }
  // A text longer than RapidJSON's writer takes goes in raw, escaped in
  // pieces: as the writer writes the whole, as a member's name and value,
  // compact or pretty.
  const std::string text("\"\\/\b\x01\x7f\xc3\xa9\0z", 10);
  for (const std::size_t longest : {1, 2, 3}) {
    EXPECT_EQ(Written<rapidjson::Writer<rapidjson::StringBuffer>>(text, longest),
              Written<rapidjson::Writer<rapidjson::StringBuffer>>(text, text.size()));
    EXPECT_EQ(Written<rapidjson::PrettyWriter<rapidjson::StringBuffer>>(text, longest),
              Written<rapidjson::PrettyWriter<rapidjson::StringBuffer>>(text, text.size()));
  }
  // Without a registry an enumeration value is its number.
  EXPECT_EQ(PropertyToJson(shade(-3), nullptr, ""), "-3");
  EXPECT_EQ(PropertyToJson(BindingProperty(), nullptr, "\r\n"), "");
}

TEST(PropertyToJsonTest, WritesContainersCompactAndPretty) {
  BindingProperty value;
  value.Member("b").SetFloat(std::numeric_limits<double>::infinity());
  value.Member("a").Append();
  value.Member("a").Append().SetUnsigned(2);
  value.Member("c").MakeStructure();
  value.Member("d").MakeCollection().Append().SetString("x\ny");
  EXPECT_EQ(PropertyToJson(value, nullptr, ""), R"({"a":[null,2],"b":null,"c":{},"d":["x\ny"]})");
  // Line feeds inside strings are escaped, so they are never replaced.
  EXPECT_EQ(PropertyToJson(value, nullptr, "\r\n"),
            "{\r\n    \"a\": [\r\n        null,\r\n        2\r\n    ],\r\n    \"b\": null,\r\n"
            "    \"c\": {},\r\n    \"d\": [\r\n        \"x\\ny\"\r\n    ]\r\n}");
  EXPECT_EQ(PropertyToJson(value.Find("a"), nullptr, "<br>"), "[<br>    null,<br>    2<br>]");
}

}  // namespace
}  // namespace Halden
