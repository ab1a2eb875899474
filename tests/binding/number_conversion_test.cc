#include "binding/number_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace Halden {
namespace {

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();
constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();
constexpr uint64_t kUint64Max = std::numeric_limits<uint64_t>::max();

std::string Format(const std::string& text, const char* typeName) {
  return "Value " + text + " for 'm' of type " + typeName + " is in an incorrect format";
}
std::string Range(const std::string& text, const char* typeName) {
  return "Value " + text + " for 'm' of type " + typeName + " is out of range";
}

TEST(NumberConversionTest, SignedText) {
  struct Case {
    std::string text;
    int64_t minimum;
    int64_t maximum;
    int64_t expected;  // when `error` is empty
    std::string error;
  };
  const Case cases[] = {
      {"", kInt32Min, kInt32Max, 0, ""},
      {"42", kInt32Min, kInt32Max, 42, ""},
      {"  \t-42", kInt32Min, kInt32Max, -42, ""},
      {"+7", kInt32Min, kInt32Max, 7, ""},
      {"0x10", kInt32Min, kInt32Max, 16, ""},
      {"0XfF", kInt32Min, kInt32Max, 255, ""},
      {"-0x10", kInt32Min, kInt32Max, -16, ""},
      {"010", kInt32Min, kInt32Max, 8, ""},
      {"0", kInt32Min, kInt32Max, 0, ""},
      {"2147483647", kInt32Min, kInt32Max, kInt32Max, ""},
      {"-2147483648", kInt32Min, kInt32Max, kInt32Min, ""},
      {"-9223372036854775808", kInt64Min, kInt64Max, kInt64Min, ""},
      {"9223372036854775807", kInt64Min, kInt64Max, kInt64Max, ""},
      {"12abc", kInt32Min, kInt32Max, 0, Format("12abc", "int32")},
      {"12 ", kInt32Min, kInt32Max, 0, Format("12 ", "int32")},
      {"abc", kInt32Min, kInt32Max, 0, Format("abc", "int32")},
      {"   ", kInt32Min, kInt32Max, 0, Format("   ", "int32")},
      {"+", kInt32Min, kInt32Max, 0, Format("+", "int32")},
      {"0x", kInt32Min, kInt32Max, 0, Format("0x", "int32")},
      {"08", kInt32Min, kInt32Max, 0, Format("08", "int32")},
      {"1.5", kInt32Min, kInt32Max, 0, Format("1.5", "int32")},
      {std::string("1\0"
                   "2",
                   3),
       kInt32Min, kInt32Max, 0, Format("1", "int32")},
      {"2147483648", kInt32Min, kInt32Max, 0, Range("2147483648", "int32")},
      {"-2147483649", kInt32Min, kInt32Max, 0, Range("-2147483649", "int32")},
      {"9223372036854775808", kInt64Min, kInt64Max, 0, Range("9223372036854775808", "int64")},
      {"-9223372036854775809", kInt64Min, kInt64Max, 0, Range("-9223372036854775809", "int64")},
      {"99999999999999999999", kInt64Min, kInt64Max, 0, Range("99999999999999999999", "int64")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    BindingResult result;
    int64_t out = -1;
    const char* typeName = c.maximum == kInt64Max ? "int64" : "int32";
    const bool ok = ParseSignedText(result, c.text, "m", typeName, c.minimum, c.maximum, out);
    EXPECT_EQ(ok, c.error.empty());
    EXPECT_EQ(result.Ok(), c.error.empty());
    EXPECT_EQ(result.Error(), c.error);
    EXPECT_EQ(out, c.error.empty() ? c.expected : -1);
  }
}

TEST(NumberConversionTest, UnsignedText) {
  struct Case {
    std::string text;
    uint64_t maximum;
    uint64_t expected;
    std::string error;
  };
  const Case cases[] = {
      {"", 4294967295u, 0, ""},
      {"0x10", 4294967295u, 16, ""},
      {"010", 4294967295u, 8, ""},
      {" +5", 4294967295u, 5, ""},
      {"4294967295", 4294967295u, 4294967295u, ""},
      {"18446744073709551615", kUint64Max, kUint64Max, ""},
      {"12abc", 4294967295u, 0, Format("12abc", "uint32")},
      {"-abc", 4294967295u, 0, Format("-abc", "uint32")},
      {"-1", 4294967295u, 0, Range("-1", "uint32")},
      {" -1", kUint64Max, 0, Range(" -1", "uint32")},
      {"-0", 4294967295u, 0, Range("-0", "uint32")},
      {"4294967296", 4294967295u, 0, Range("4294967296", "uint32")},
      {"18446744073709551616", kUint64Max, 0, Range("18446744073709551616", "uint32")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    BindingResult result;
    uint64_t out = 99;
    const bool ok = ParseUnsignedText(result, c.text, "m", "uint32", c.maximum, out);
    EXPECT_EQ(ok, c.error.empty());
    EXPECT_EQ(result.Error(), c.error);
    EXPECT_EQ(out, c.error.empty() ? c.expected : 99u);
  }
}

TEST(NumberConversionTest, FloatText) {
  constexpr double kMax = std::numeric_limits<double>::max();
  constexpr double kFloatMax = std::numeric_limits<float>::max();
  struct Case {
    std::string text;
    double maximum;
    double expected;
    std::string error;
  };
  const Case cases[] = {
      {"", kMax, 0, ""},
      {"1.5", kMax, 1.5, ""},
      {"  -2.5e3", kMax, -2500, ""},
      {"+.5", kMax, 0.5, ""},
      {"5.", kMax, 5, ""},
      {"0x1p3", kMax, 8, ""},
      {"-0X1.8p1", kMax, -3, ""},
      {"1e308", kMax, 1e308, ""},
      {"3e38", kFloatMax, 3e38, ""},
      {"1.5x", kMax, 0, Format("1.5x", "double")},
      {"1e", kMax, 0, Format("1e", "double")},
      {"0x", kMax, 0, Format("0x", "double")},
      {"0xg", kMax, 0, Format("0xg", "double")},
      {"+-1", kMax, 0, Format("+-1", "double")},
      {" ", kMax, 0, Format(" ", "double")},
      {"1,5", kMax, 0, Format("1,5", "double")},
      {"1e400", kMax, 0, Range("1e400", "double")},
      {"-1e400", kMax, 0, Range("-1e400", "double")},
      {"1e-400", kMax, 0, Range("1e-400", "double")},
      {"inf", kMax, 0, Range("inf", "double")},
      {"-Infinity", kMax, 0, Range("-Infinity", "double")},
      {"4e38", kFloatMax, 0, Range("4e38", "double")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    BindingResult result;
    double out = 99;
    const bool ok = ParseFloatText(result, c.text, "m", "double", -c.maximum, c.maximum, out);
    EXPECT_EQ(ok, c.error.empty());
    EXPECT_EQ(result.Error(), c.error);
    EXPECT_EQ(out, c.error.empty() ? c.expected : 99);
  }
  // Not-a-number passes any limits.
  for (const char* text : {"nan", "NaN", "-nan", "nan(1)"}) {
    BindingResult result;
    double out = 0;
    EXPECT_TRUE(ParseFloatText(result, text, "m", "float", -1, 1, out)) << text;
    EXPECT_TRUE(std::isnan(out)) << text;
  }
}

}  // namespace
}  // namespace Halden
