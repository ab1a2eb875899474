#include "formats/property_to_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "binding/registry.h"
#include "binding/static_type.h"
#include "formats/json_to_property.h"
#include "tests/formats/describe_property.h"

namespace Halden {
namespace {

using formats_test::Describe;

enum class Shade : int32_t { Light = 1, Dark = -3 };

struct WriteCase {
  BindingProperty value;
  const char* expected;
};

BindingProperty Text(const std::string& text) {
  BindingProperty value;
  value.SetString(text);
  return value;
}

BindingProperty Bytes(const std::string& bytes) {
  BindingProperty value;
  value.SetBlob(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  return value;
}

BindingProperty Number(double number) {
  BindingProperty value;
  value.SetFloat(number);
  return value;
}

TEST(PropertyToJsonTest, WritesScalarsCompact) {
  BindingRegistry registry;
  registry.RegisterType(sizeof(Shade), "Shade", StaticTypeOf<Shade>(), true)
      .AddEnumerator("Light", 1, "")
      .AddEnumerator("Dark", -3, "");
  auto shade = [](int32_t number) {
    BindingProperty value;
    value.SetEnum({number, &StaticTypeOf<Shade>()});
    return value;
  };
  BindingProperty yes;
  yes.SetBool(true);
  BindingProperty minus;
  minus.SetSigned(std::numeric_limits<int64_t>::min());
  BindingProperty large;
  large.SetUnsigned(std::numeric_limits<uint64_t>::max());

  const std::vector<WriteCase> cases = {
      {yes, "true"},
      {minus, "-9223372036854775808"},
      {large, "18446744073709551615"},
      {Number(1), "1.0"},
      {Number(0), "0.0"},
      {Number(-0.0), "-0.0"},
      {Number(0.1), "0.1"},
      {Number(-1.5e300), "-1.5e300"},
      {Number(std::nan("")), "null"},
      {Number(-std::numeric_limits<double>::infinity()), "null"},
      {Text(""), "\"\""},
      {Text(std::string("\"\\/\b\t\n\f\r\x01\x1f\x7f\xc3\xa9", 14)),
       "\"\\\"\\\\/\\b\\t\\n\\f\\r\\u0001\\u001F\x7f\xc3\xa9\""},
      {Bytes(""), "\"\""},
      {Bytes("M"), "\"TQ==\""},
      {Bytes("Ma"), "\"TWE=\""},
      {Bytes("Man"), "\"TWFu\""},
      {Bytes(std::string("\xfb\xff\xbf\x00", 4)), "\"+/+/AA==\""},
      {shade(1), "\"Light\""},
      {shade(-3), "\"Dark\""},
      {shade(2), "2"},
  };
  for (const WriteCase& c : cases) {
    EXPECT_EQ(PropertyToJson(c.value, &registry, nullptr), c.expected) << Describe(c.value);
  }
  // Without a registry an enumeration value is its number.
  EXPECT_EQ(PropertyToJson(shade(-3), nullptr, ""), "-3");
  // An embedded NUL, which the MessagePack reader keeps, is escaped.
  EXPECT_EQ(PropertyToJson(BindingProperty().SetString(std::string("a\0b", 3)), nullptr, ""),
            "\"a\\u0000b\"");
}

TEST(PropertyToJsonTest, EmptyPropertyIsNoText) {
  for (const char* lineBreak : {static_cast<const char*>(nullptr), "", "\n", "\r\n"}) {
    EXPECT_EQ(PropertyToJson(BindingProperty(), nullptr, lineBreak), "");
  }
}

TEST(PropertyToJsonTest, WritesContainers) {
  BindingProperty value;
  value.Member("b").SetSigned(1);
  value.Member("a").Append();
  value.Member("a").Append().SetUnsigned(2);
  value.Member("c").MakeStructure();
  value.Member("d").MakeCollection();
  EXPECT_EQ(PropertyToJson(value, nullptr, ""), R"({"a":[null,2],"b":1,"c":{},"d":[]})");
  EXPECT_EQ(PropertyToJson(value, nullptr, "\n"),
            "{\n"
            "    \"a\": [\n"
            "        null,\n"
            "        2\n"
            "    ],\n"
            "    \"b\": 1,\n"
            "    \"c\": {},\n"
            "    \"d\": []\n"
            "}");
}

TEST(PropertyToJsonTest, PrettyWithOtherLineBreaks) {
  BindingProperty value;
  value.Member("a").Append().SetUnsigned(1);
  value.Member("a").Append().SetUnsigned(2);
  EXPECT_EQ(PropertyToJson(value, nullptr, "\r\n"),
            "{\r\n    \"a\": [\r\n        1,\r\n        2\r\n    ]\r\n}");
  // Line feeds inside strings are escaped, so they are never replaced.
  EXPECT_EQ(PropertyToJson(Text("x\ny"), nullptr, "\r\n"), "\"x\\ny\"");
  EXPECT_EQ(PropertyToJson(value, nullptr, "<br>"),
            "{<br>    \"a\": [<br>        1,<br>        2<br>    ]<br>}");
}

TEST(PropertyToJsonTest, NonFiniteFloatsKeepTheTextValid) {
  BindingProperty value;
  value.Member("a").SetFloat(std::numeric_limits<double>::infinity());
  value.Member("b").Append().SetFloat(std::nan(""));
  value.Member("b").Append().SetFloat(2.5);
  value.Member("c").SetBool(false);
  const std::string compact = PropertyToJson(value, nullptr, "");
  EXPECT_EQ(compact, R"({"a":null,"b":[null,2.5],"c":false})");
  EXPECT_TRUE(JsonToProperty(compact.c_str()).Ok());
  const std::string pretty = PropertyToJson(value, nullptr, "\r\n");
  EXPECT_TRUE(JsonToProperty(pretty.c_str()).Ok()) << pretty;
}

TEST(PropertyToJsonTest, RoundTrips) {
  BindingProperty value;
  value.Member("text").SetString("caf\xc3\xa9 \"q\" \\ \t/");
  value.Member("list").Append().SetSigned(-7);
  value.Member("list").Append().SetFloat(0.30000000000000004);
  value.Member("list").Append();
  value.Member("list").Append().Member("deep").Append().SetBool(false);
  value.Member("max").SetUnsigned(std::numeric_limits<uint64_t>::max());
  value.Member("min").SetSigned(std::numeric_limits<int64_t>::min());
  value.Member("tiny").SetFloat(5e-324);
  value.Member("").SetFloat(-1e308);
  value.Member("empty").MakeStructure();

  for (const char* lineBreak : {"", "\n", "\r\n"}) {
    const std::string written = PropertyToJson(value, nullptr, lineBreak);
    const BindingResult read = JsonToProperty(written.c_str());
    ASSERT_TRUE(read.Ok()) << read.Error();
    EXPECT_EQ(Describe(read), Describe(value)) << written;
    EXPECT_EQ(PropertyToJson(read, nullptr, lineBreak), written);
  }
}

}  // namespace
}  // namespace Halden
