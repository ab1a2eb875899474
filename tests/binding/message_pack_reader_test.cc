#include "binding/message_pack_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "util/format.h"

namespace Halden {
namespace {

using Kind = BindingPropertyKind;

// "91 01" -> {0x91, 0x01}.
std::vector<uint8_t> Bytes(std::string_view hex) {
  std::vector<uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 3)
    bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return bytes;
}

std::vector<uint8_t> Repeat(std::string_view hex, int times, std::string_view tail = "") {
  std::vector<uint8_t> bytes;
  const std::vector<uint8_t> unit = Bytes(hex);
  for (int i = 0; i < times; ++i) bytes.insert(bytes.end(), unit.begin(), unit.end());
  const std::vector<uint8_t> end = Bytes(tail);
  bytes.insert(bytes.end(), end.begin(), end.end());
  return bytes;
}

// A tree as compact text: nil, true, -1 (Signed), 5u (Unsigned), 1.5d
// (Float, 17 digits), "a\x00" (String), bin(01 02), [..], {key:..}.
std::string Render(const BindingProperty& p) {
  char number[40];
  switch (p.GetKind()) {
    case Kind::Empty:
      return "nil";
    case Kind::Bool:
      return p.GetBool() ? "true" : "false";
    case Kind::Signed:
      return std::to_string(p.GetSigned());
    case Kind::Unsigned:
      return std::to_string(p.GetUnsigned()) + "u";
    case Kind::Float:
      std::snprintf(number, sizeof number, "%.17gd", p.GetFloat());
      return number;
    case Kind::String: {
      std::string text = "\"";
      for (char c : p.GetString()) {
        std::snprintf(number, sizeof number, "\\x%02x", static_cast<unsigned char>(c));
        text += c >= 0x20 ? std::string(1, c) : number;
      }
      return text + "\"";
    }
    case Kind::Blob: {
      std::string text = "bin(";
      for (uint8_t b : p.GetBlob()) {
        std::snprintf(number, sizeof number, text.size() > 4 ? " %02x" : "%02x", b);
        text += number;
      }
      return text + ")";
    }
    case Kind::Collection: {
      std::string text = "[";
      for (uint32_t i = 0; i < p.Size(); ++i) text += (i ? "," : "") + Render(p.Element(i));
      return text + "]";
    }
    case Kind::Structure: {
      std::string text = "{";
      for (auto [key, value] : p.Members())
        text += (text.size() > 1 ? "," : "") + key + ":" + Render(value);
      return text + "}";
    }
    default:
      return "?";
  }
}

std::string Nested(int depth, const std::string& leaf) {
  return std::string(depth, '[') + leaf + std::string(depth, ']');
}

const char kDeepMessage[] =
    "Invalid MessagePack data at position %1. Nesting is deeper than 512 levels.";

std::string DeepMessage(uint32_t position) { return FormatMessage(kDeepMessage, position); }

TEST(MessagePackReaderTest, ReadsValuesAndReportsFaultsWithTheirPositions) {
  struct Case {
    std::vector<uint8_t> bytes;
    std::string expected;  // the rendered tree, or the failure message
    uint32_t position;
  };
  const Case cases[] = {
      {{}, "nil", 0},
      {Bytes("05"), "5", 1},
      {Bytes("7F"), "127", 1},
      {Bytes("E0"), "-32", 1},
      {Bytes("FF"), "-1", 1},
      {Bytes("05 06"), "5", 1},
      {Bytes("C0"), "nil", 1},
      {Bytes("C2"), "false", 1},
      {Bytes("C3"), "true", 1},
      {Bytes("CC 05"), "5u", 2},
      {Bytes("CD 01 02"), "258u", 3},
      {Bytes("CE FF FF FF FF"), "4294967295u", 5},
      {Bytes("CF FF FF FF FF FF FF FF FF"), "18446744073709551615u", 9},
      {Bytes("D0 80"), "-128", 2},
      {Bytes("D1 FF 7F"), "-129", 3},
      {Bytes("D2 80 00 00 00"), "-2147483648", 5},
      {Bytes("D3 80 00 00 00 00 00 00 00"), "-9223372036854775808", 9},
      {Bytes("D3 7F FF FF FF FF FF FF FF"), "9223372036854775807", 9},
      {Bytes("CA 3D CC CC CD"), "0.10000000149011612d", 5},
      {Bytes("CA 7F 7F FF FF"), "3.4028234663852886e+38d", 5},
      {Bytes("CB 3F F8 00 00 00 00 00 00"), "1.5d", 9},
      {Bytes("A0"), "\"\"", 1},
      {Bytes("A3 61 00 62"), "\"a\\x00b\"", 4},
      {Bytes("D9 01 61"), "\"a\"", 3},
      {Bytes("DA 00 02 61 62"), "\"ab\"", 5},
      {Bytes("DB 00 00 00 01 61"), "\"a\"", 6},
      {Bytes("C4 02 01 02"), "bin(01 02)", 4},
      {Bytes("C5 00 00"), "bin()", 3},
      {Bytes("C6 00 00 00 01 FF"), "bin(ff)", 6},
      {Bytes("90"), "[]", 1},
      {Bytes("92 01 02"), "[1,2]", 3},
      {Bytes("92 01"), "[1]", 2},
      {Bytes("91 01 02"), "[1]", 2},
      {Bytes("92 C0 01"), "[nil,1]", 3},
      {Bytes("DC 00 02 01 02"), "[1,2]", 5},
      {Bytes("DD 00 00 00 01 01 02"), "[1]", 6},
      {Bytes("80"), "{}", 1},
      {Bytes("82 A1 62 01 A1 61 92 C3 A0"), "{a:[true,\"\"],b:1}", 9},
      {Bytes("DE 00 01 A1 61 C3"), "{a:true}", 6},
      {Bytes("DF 00 00 00 01 D9 01 61 05"), "{a:5}", 9},
      {Bytes("82 A1 61 01 A1 62"), "{a:1}", 6},
      {Bytes("82 A1 61"), "{}", 3},
      // Repeated keys write into the same member.
      {Bytes("82 A1 61 01 A1 61 02"), "{a:2}", 7},
      {Bytes("82 A1 61 01 A1 61 C0"), "{a:1}", 7},
      {Bytes("82 A1 61 81 A1 62 01 A1 61 81 A1 63 02"), "{a:{b:1,c:2}}", 13},
      {Bytes("82 A1 61 93 01 02 03 A1 61 91 04"), "{a:[4,2,3]}", 11},
      {Bytes("82 A1 61 91 81 A1 62 01 A1 61 91 81 A1 63 02"), "{a:[{b:1,c:2}]}", 15},
      {Bytes("82 A1 61 81 A1 62 01 A1 61 05"), "{a:5}", 10},
      {Bytes("82 A1 61 05 A1 61 91 06"), "{a:[6]}", 8},
      // Announced counts and lengths beyond the input cost nothing and are
      // read as wide numbers: 0x80000000 pairs are not 0 items.
      {Bytes("DF FF FF FF FF"), "{}", 5},
      {Bytes("DD FF FF FF FF"), "[]", 5},
      {Bytes("DD 0F FF FF FF C3"), "[true]", 6},
      {Bytes("DF 80 00 00 00 A1 61 01"), "{a:1}", 8},
      {Bytes("DB FF FF FF FF 61"),
       "Invalid MessagePack data. String of size 4294967295 at position 5 is truncated.", 5},
      {Bytes("C6 FF FF FF FF 61"),
       "Invalid MessagePack data. Raw bytes of size 4294967295 at position 5 are truncated.", 5},
      // Faults.
      {Bytes("81 01 02"), "Invalid MessagePack data at position 2. Map keys must be strings.", 2},
      {Bytes("81 C0"), "Invalid MessagePack data at position 2. Map keys must be strings.", 2},
      {Bytes("81 A1 61 81 90"), "Invalid MessagePack data at position 5. Map keys must be strings.",
       5},
      {Bytes("C1"), "Invalid MessagePack data at position 1.", 1},
      {Bytes("C7"), "Invalid MessagePack data at position 1.", 1},
      {Bytes("C9 00 00 00 00 01"), "Invalid MessagePack data at position 1.", 1},
      {Bytes("D4 01 00"), "Invalid MessagePack data at position 1.", 1},
      {Bytes("92 01 D8"), "Invalid MessagePack data at position 3.", 3},
      {Bytes("CD 01"), "Invalid MessagePack data. 16-bit integer value at position 1 is truncated.",
       1},
      {Bytes("CD"), "Invalid MessagePack data. 16-bit integer value at position 1 is truncated.",
       1},
      {Bytes("D0"), "Invalid MessagePack data. 8-bit integer value at position 1 is truncated.", 1},
      {Bytes("D9"), "Invalid MessagePack data. 8-bit integer value at position 1 is truncated.", 1},
      {Bytes("C4"), "Invalid MessagePack data. 8-bit integer value at position 1 is truncated.", 1},
      {Bytes("CA 00 00 00"),
       "Invalid MessagePack data. 32-bit integer value at position 1 is truncated.", 1},
      {Bytes("DF 00 00"),
       "Invalid MessagePack data. 32-bit integer value at position 1 is truncated.", 1},
      {Bytes("91 CB 00"),
       "Invalid MessagePack data. 64-bit integer value at position 2 is truncated.", 2},
      {Bytes("D3 00 00 00 00 00 00 00"),
       "Invalid MessagePack data. 64-bit integer value at position 1 is truncated.", 1},
      {Bytes("A3 61 62"), "Invalid MessagePack data. String of size 3 at position 1 is truncated.",
       1},
      {Bytes("81 A2 61"), "Invalid MessagePack data. String of size 2 at position 2 is truncated.",
       2},
      {Bytes("81 DA 00"),
       "Invalid MessagePack data. 16-bit integer value at position 2 is truncated.", 2},
      {Bytes("C4 02 01"),
       "Invalid MessagePack data. Raw bytes of size 2 at position 2 are truncated.", 2},
      // Nesting: 512 levels are read, the 513th is refused.
      {Repeat("91", 512, "01"), Nested(512, "1"), 513},
      {Repeat("91", 513), DeepMessage(513), 513},
      {Repeat("91", 513, "01"), DeepMessage(513), 513},
      {Repeat("81 A1 61", 513, "C3"), DeepMessage(1537), 1537},
      {Repeat("91", 100000), DeepMessage(513), 513},
  };
  for (const Case& c : cases) {
    const std::size_t shown = std::min<std::size_t>(c.bytes.size(), 16);
    const std::string input =
        Render(BindingProperty().SetBlob({c.bytes.begin(), c.bytes.begin() + shown}));
    uint32_t position = 12345;
    const BindingResult result =
        ReadMessagePack(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()), position);
    const bool fails = c.expected.starts_with("Invalid MessagePack data");
    EXPECT_EQ(result.Ok(), !fails) << input;
    EXPECT_EQ(fails ? result.Error() : Render(result), c.expected) << input;
    EXPECT_EQ(position, c.position) << input;
    if (fails) {
      EXPECT_EQ(result.Size(), 1u) << input;
    }
  }
}

TEST(MessagePackReaderTest, KeepsEveryByteOfAString) {
  const std::vector<uint8_t> bytes = Bytes("A4 00 61 00 FF");
  uint32_t position = 0;
  const BindingResult result = ReadMessagePack(bytes.data(), 5, position);
  EXPECT_EQ(result.GetString(), std::string("\0a\0\xFF", 4));
  EXPECT_EQ(result.Size(), 4u);
}

TEST(MessagePackReaderTest, LooksLikeMessagePackOnlyForMapsAndArrays) {
  for (int b = 0; b < 256; ++b) {
    const uint8_t bytes[] = {static_cast<uint8_t>(b), 0x00};
    const bool container = (b >= 0x80 && b <= 0x9F) || (b >= 0xDC && b <= 0xDF);
    EXPECT_EQ(LooksLikeMessagePack(bytes, 2), container) << b;
  }
  const uint8_t brace[] = {'{', '}'};
  EXPECT_FALSE(LooksLikeMessagePack(brace, 2));
  const uint8_t map[] = {0x81};
  EXPECT_TRUE(LooksLikeMessagePack(map, 1));
  EXPECT_FALSE(LooksLikeMessagePack(map, 0));
}

}  // namespace
}  // namespace Halden
