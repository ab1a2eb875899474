#include "binding/internal/scalar_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "binding/native_conversion.h"
#include "binding/registration.h"
#include "tests/binding/conversion_test_support.h"

namespace Halden {
namespace {

using namespace binding_test;

enum class Letter : int32_t { A = 0, B = 7 };
enum class Unregistered { X };

const std::string kRequired = "A value for 'm' is required.";

std::string Range(const std::string& value, const char* type) {
  return "Value " + value + " for 'm' of type " + type + " is out of range";
}
std::string Format(const std::string& text, const char* type) {
  return "Value " + text + " for 'm' of type " + type + " is in an incorrect format";
}
std::string InvalidType(const char* type, const char* kind) {
  return std::string("Couldn't assign value to 'm' of type ") + type +
         " because the input is of an invalid type " + kind + ".";
}

template <typename T>
struct Case {
  BindingProperty input;
  T expected;  // when `error` is empty
  std::string error;
};

class ScalarConversionTest : public ::testing::Test {
 protected:
  ScalarConversionTest() {
    auto letters = RegisterEnum<Letter>(registry, "E");
    letters.Value("A", Letter::A).Value("B", Letter::B);
    // More names than FindEnumerator walks through one by one.
    for (const char* name : {"C", "D", "F", "G", "H", "I", "J"}) {
      letters.Value(name, static_cast<Letter>(20 + *name));
    }
  }

  // Each input gives `expected`, or fails with `error` and leaves `initial`.
  template <typename T>
  void Check(const std::vector<Case<T>>& cases, T initial) {
    for (std::size_t i = 0; i < cases.size(); ++i) {
      const Case<T>& c = cases[i];
      SCOPED_TRACE(::testing::Message() << "case " << i);
      T value = initial;
      const BindingResult result = ConvertFromProperty(registry, c.input, value, "m");
      EXPECT_EQ(result.Error(), c.error);
      EXPECT_EQ(result.Ok(), c.error.empty());
      EXPECT_EQ(value, c.error.empty() ? c.expected : initial);
    }
  }

  BindingRegistry registry;
};

TEST_F(ScalarConversionTest, NumberRules) {
  const double nan = NAN, inf = HUGE_VAL;
  Check<int32_t>({{Signed(-2147483648LL), std::numeric_limits<int32_t>::min(), ""},
                  {Unsigned(2147483647), 2147483647, ""},
                  {Float(-3.9), -3, ""},
                  {Float(2147483647.0), 2147483647, ""},
                  {Enum(7, &StaticTypeOf<Letter>()), 7, ""},
                  {Text(""), 0, ""},
                  {Text("0XfF"), 255, ""},
                  {Text("-0x10"), -16, ""},
                  {Text(" \t-010"), -8, ""},
                  {Text("\r\v12"), 12, ""},
                  {Text("+7"), 7, ""},
                  {Text("-2147483648"), std::numeric_limits<int32_t>::min(), ""},
                  {BindingProperty(), 0, kRequired},
                  {Signed(2147483648LL), 0, Range("2147483648", "int32")},
                  {Unsigned(18446744073709551615u), 0, Range("18446744073709551615", "int32")},
                  {Float(2147483647.5), 0, Range("2.14748e+09", "int32")},
                  {Float(nan), 0, Range("nan", "int32")},
                  {Text("12 "), 0, Format("12 ", "int32")},
                  {Text("+"), 0, Format("+", "int32")},
                  {Text("0x"), 0, Format("0x", "int32")},
                  {Text("08"), 0, Format("08", "int32")},
                  {Text("1.5"), 0, Format("1.5", "int32")},
                  {Text(std::string("1\0002", 3)), 0, Format("1", "int32")},
                  {Text("-2147483649"), 0, Range("-2147483649", "int32")},
                  {Bool(true), 0, InvalidType("int32", "bool")}},
                 int32_t{-1});
  // Doubles at the edge of 64 bits are out of range rather than undefined.
  Check<int64_t>({{Float(-9223372036854775808.0), std::numeric_limits<int64_t>::min(), ""},
                  {Float(9223372036854775808.0), 0, Range("9.22337e+18", "int64")},
                  {Float(inf), 0, Range("inf", "int64")},
                  {Unsigned(9223372036854775808u), 0, Range("9223372036854775808", "int64")},
                  {Text("9223372036854775808"), 0, Range("9223372036854775808", "int64")},
                  {Text("99999999999999999999"), 0, Range("99999999999999999999", "int64")}},
                 int64_t{-1});
  Check<int8_t>({{Text("127"), 127, ""}, {Signed(-129), 0, Range("-129", "int8")}}, int8_t{1});
  Check<int16_t>({{Unsigned(32768), 0, Range("32768", "int16")}}, int16_t{1});
  // Limits of either sign: an unsigned 0 fits [-9, 0] and not [-9, -1].
  int64_t number = 5;
  BindingResult fits, refused;
  EXPECT_TRUE(SignedFromScalar(fits, Unsigned(0), "m", "t", -9, 0, number));
  EXPECT_FALSE(SignedFromScalar(refused, Unsigned(0), "m", "t", -9, -1, number));
  Check<uint32_t>({{Signed(5), 5, ""},
                   {Signed(0), 0, ""},
                   {Float(3.9), 3, ""},
                   {Float(0), 0, ""},
                   {Text(" +5"), 5, ""},
                   {Text("010"), 8, ""},
                   {Enum(7, &StaticTypeOf<Letter>()), 7, ""},
                   {Enum(0, &StaticTypeOf<Letter>()), 0, ""},
                   {Text("-abc"), 0, Format("-abc", "uint32")},
                   {Signed(-1), 0, Range("-1", "uint32")},
                   {Text("-1"), 0, Range("-1", "uint32")},
                   {Text("-0"), 0, Range("-0", "uint32")},
                   {Float(-0.5), 0, Range("-0.5", "uint32")},
                   {Unsigned(4294967296u), 0, Range("4294967296", "uint32")},
                   {Enum(-1, &StaticTypeOf<Letter>()), 0, Range("-1", "uint32")},
                   {Bool(false), 0, InvalidType("uint32", "bool")}},
                  uint32_t{99});
  Check<uint64_t>({{Unsigned(18446744073709551615u), 18446744073709551615u, ""},
                   {Text("18446744073709551615"), 18446744073709551615u, ""},
                   {Float(18446744073709549568.0), 18446744073709549568u, ""},
                   {Float(18446744073709551616.0), 0, Range("1.84467e+19", "uint64")},
                   {Signed(-1), 0, Range("-1", "uint64")},
                   {Text("18446744073709551616"), 0, Range("18446744073709551616", "uint64")}},
                  uint64_t{99});
  Check<uint8_t>({{Signed(256), 0, Range("256", "uint8")}}, uint8_t{1});
  Check<uint16_t>({{Text("0xffff"), 65535, ""}, {Text("65536"), 0, Range("65536", "uint16")}},
                  uint16_t{1});
  Check<double>({{Signed(-3), -3.0, ""},
                 {Unsigned(18446744073709551615u), 18446744073709551616.0, ""},
                 {Enum(7, &StaticTypeOf<Letter>()), 7.0, ""},
                 {Text(" 2.5e1"), 25.0, ""},
                 {Text("+.5"), 0.5, ""},
                 {Text("0x10"), 16.0, ""},
                 {Text(""), 0, ""},
                 {Text("-0X1.8p1"), -3.0, ""},
                 {BindingProperty(), 0, kRequired},
                 {Float(-inf), 0, Range("-inf", "double")},
                 {Text("1e999"), 0, Range("1e999", "double")},
                 {Text("-Infinity"), 0, Range("-Infinity", "double")},
                 {Text("1e"), 0, Format("1e", "double")},
                 {Text("+-1"), 0, Format("+-1", "double")},
                 // Digits follow "0x" at once, which only a "0" comes before.
                 {Text("1x5"), 0, Format("1x5", "double")},
                 {Text("0x-1"), 0, Format("0x-1", "double")},
                 {Text("0xnan"), 0, Format("0xnan", "double")},
                 {Text("0x.8"), 0.5, ""},
                 {Text("1,5"), 0, Format("1,5", "double")},
                 {BindingProperty().MakeStructure(), 0, InvalidType("double", "structure")}},
                -1.0);
  Check<float>({{Signed(std::numeric_limits<int64_t>::max()), 9223372036854775808.0f, ""},
                {Text("-3.4028234663852886e38"), std::numeric_limits<float>::lowest(), ""},
                {Float(std::numeric_limits<float>::max()), std::numeric_limits<float>::max(), ""},
                {Float(1e39), 0, Range("1e+39", "float")},
                {Text("-1e39"), 0, Range("-1e39", "float")}},
               -1.0f);
  // A NaN passes the limits.
  for (const BindingProperty& input : {Float(nan), Text("-nan"), Text("nan(1)")}) {
    float value = 0;
    EXPECT_TRUE(ConvertFromProperty(registry, input, value, "m").Ok());
    EXPECT_TRUE(std::isnan(value));
  }
}

TEST_F(ScalarConversionTest, EnumerationAndStringRules) {
  auto invalid = [](const std::string& value) {
    return value + " is not a valid E enumeration value for 'm'.";
  };
  const std::string invalidType =
      "Couldn't assign value to 'm' of enum type because the input is of an invalid type ";
  Check<Letter>({{Text("B"), Letter::B, ""},
                 {Text("0x7"), Letter::B, ""},
                 {Signed(7), Letter::B, ""},
                 {Enum(7, &StaticTypeOf<Unregistered>()), Letter::B, ""},
                 {BindingProperty(), Letter::A, kRequired},
                 {Text("8"), Letter::A, invalid("8")},
                 {Text("b"), Letter::A, invalid("b")},
                 {Text("99999999999"), Letter::A, invalid("99999999999")},
                 {Signed(8), Letter::A, invalid("8")},
                 // Numbers beyond 32 bits are no enumerator, whatever their low bits.
                 {Signed(4294967303LL), Letter::A, invalid("4294967303")},
                 {Unsigned(4294967303u), Letter::A, invalid("4294967303")},
                 {Enum(1, &StaticTypeOf<Letter>()), Letter::A, invalid("1")},
                 {Float(7), Letter::A, invalidType + "float."},
                 {BindingProperty().MakeStructure(), Letter::A, invalidType + "structure."}},
                Letter::A);
  // An enumeration that was never registered has no valid value.
  Unregistered value = Unregistered::X;
  EXPECT_EQ(ConvertFromProperty(registry, Signed(0), value, "m").Error(),
            "0 is not a valid  enumeration value for 'm'.");
  // A string takes texts and enumerator names.
  Check<std::string>(
      {{Text("t"), "t", ""},
       {Enum(7, &StaticTypeOf<Letter>()), "B", ""},
       {Enum(3, &StaticTypeOf<Letter>()), "", "3 is not a valid enumeration value for 'm'."}},
      "kept");
}

TEST_F(ScalarConversionTest, BoolRuleReadsFourTextsAndRulesDoNothingAfterAFailure) {
  // 1 and 0 are the values read; -1 is a refused text, which leaves the flag.
  const std::pair<const char*, int> texts[] = {
      {"1", 1}, {"true", 1}, {"0", 0}, {"false", 0}, {"yes", -1}};
  for (const auto& [text, value] : texts) {
    BindingResult result;
    bool flag = value != 1;
    EXPECT_EQ(BoolFromScalar(result, Text(text), "m", flag), value >= 0) << text;
    EXPECT_EQ(result.Ok(), value >= 0) << text;
    EXPECT_EQ(flag, value != 0) << text;
  }
  BindingResult result;
  result.SetError("first");
  const auto initial = std::tuple(false, int64_t{1}, uint64_t{1}, 1.0, std::string("kept"), 1);
  auto values = initial;
  auto& [flag, number, unsignedNumber, real, text, letter] = values;
  EXPECT_FALSE(BoolFromScalar(result, Bool(true), "m", flag));
  EXPECT_FALSE(SignedFromScalar(result, Signed(2), "m", "int64", -9, 9, number));
  EXPECT_FALSE(UnsignedFromScalar(result, Signed(2), "m", "uint64", 9, unsignedNumber));
  EXPECT_FALSE(FloatFromScalar(result, Float(2), "m", "double", -9, 9, real));
  EXPECT_FALSE(StringFromScalar(result, Text("x"), "m", nullptr, text));
  EXPECT_FALSE(EnumFromScalar(result, Signed(7), "m", nullptr, letter));
  EXPECT_EQ(result.Error(), "first");
  EXPECT_EQ(values, initial);
}

}  // namespace
}  // namespace Halden
