#include "binding/message_pack_reader.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "tests/binding/recording_visitor.h"
#include "tests/support/small_stack.h"
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

// The deepest tree accepted must also be released, copied and walked on a
// host thread's small stack; containers of both kinds alternate.
TEST(MessagePackReaderTest, DeepestAcceptedTreeFitsASmallStack) {
  std::vector<uint8_t> bytes;
  for (uint32_t level = 0; level < kMaxMessagePackNesting; ++level) {
    const std::vector<uint8_t> header = Bytes(level % 2 == 0 ? "91" : "81 A1 6B");
    bytes.insert(bytes.end(), header.begin(), header.end());
  }
  bytes.push_back(0x07);
  int deepest = 0;
  std::size_t originalEvents = 0;
  std::size_t copyEvents = 0;
  std::string leaf;
  const bool completed = testing::RunOnSmallStack([&] {
    uint32_t position = 0;
    const BindingResult result =
        ReadMessagePack(bytes.data(), static_cast<uint32_t>(bytes.size()), position);
    binding_test::RecordingVisitor original;
    result.Accept(original);
    const BindingProperty copy = result;
    binding_test::RecordingVisitor copied;
    copy.Accept(copied);
    // Each container holds one child, so every container begun is a level.
    deepest = static_cast<int>(
        std::count_if(copied.events.begin(), copied.events.end(), [](const std::string& event) {
          return event.starts_with("BeginCollection") || event.starts_with("BeginStructure");
        }));
    originalEvents = original.events.size();
    copyEvents = copied.events.size();
    leaf = copied.events[copied.events.size() / 2];
  });
  ASSERT_TRUE(completed);
  EXPECT_EQ(deepest, static_cast<int>(kMaxMessagePackNesting));
  EXPECT_EQ(originalEvents, 512u * 4 + 1);
  EXPECT_EQ(copyEvents, originalEvents);
  EXPECT_EQ(leaf, "VisitSigned(7)");
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

// The first difference between a JSON value and a tree read from the same
// document in MessagePack, as a path; empty when they agree.
std::string Difference(const rapidjson::Value& json, const BindingProperty& p,
                       const std::string& path) {
  bool same = false;
  switch (json.GetType()) {
    case rapidjson::kNullType:
      same = p.IsEmpty();
      break;
    case rapidjson::kFalseType:
    case rapidjson::kTrueType:
      same = p.GetKind() == Kind::Bool && p.GetBool() == json.GetBool();
      break;
    case rapidjson::kStringType:
      same = p.GetKind() == Kind::String &&
             p.GetString() == std::string_view(json.GetString(), json.GetStringLength());
      break;
    case rapidjson::kNumberType:
      if (json.IsUint64()) {
        same = p.GetUnsigned(~json.GetUint64()) == json.GetUint64() ||
               (json.GetUint64() < 128 && p.GetSigned(-1) == json.GetInt64());
      } else if (json.IsInt64()) {
        same = p.GetSigned(~json.GetInt64()) == json.GetInt64();
      } else {
        same = p.GetKind() == Kind::Float && p.GetFloat() == json.GetDouble();
      }
      break;
    case rapidjson::kArrayType:
      if (p.GetKind() != Kind::Collection || p.Size() != json.Size()) return path;
      for (rapidjson::SizeType i = 0; i < json.Size(); ++i) {
        std::string inner = Difference(json[i], p.Element(i), path + "/" + std::to_string(i));
        if (!inner.empty()) return inner;
      }
      return "";
    case rapidjson::kObjectType:
      if (p.GetKind() != Kind::Structure || p.Size() != json.MemberCount()) return path;
      for (const auto& member : json.GetObject()) {
        const std::string key(member.name.GetString(), member.name.GetStringLength());
        std::string inner = Difference(member.value, p.Find(key), path + "/" + key);
        if (!inner.empty()) return inner;
      }
      return "";
  }
  return same ? "" : path;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(MessagePackReaderTest, ReadsTheTwitterDocumentAsItsJsonTwin) {
  const std::filesystem::path data =
      std::filesystem::path(__FILE__).parent_path() / "../../../shared/bench-data";
  if (!std::filesystem::exists(data / "twitter.msgpack")) GTEST_SKIP() << "no " << data;
  const std::string packed = ReadFile(data / "twitter.msgpack");
  const std::string text = ReadFile(data / "twitter.json");

  uint32_t position = 0;
  const BindingResult result = ReadMessagePack(reinterpret_cast<const uint8_t*>(packed.data()),
                                               static_cast<uint32_t>(packed.size()), position);
  ASSERT_TRUE(result.Ok()) << result.Error();
  EXPECT_EQ(position, packed.size());

  const BindingProperty& statuses = result.Find("statuses");
  EXPECT_EQ(statuses.Size(), 100u);
  EXPECT_EQ(result.Find("search_metadata").Find("count").GetSigned(), 100);
  EXPECT_EQ(statuses.Element(0).Find("id").GetUnsigned(), 505874924095815700u);
  EXPECT_EQ(statuses.Element(0).Find("id_str").GetString(), "505874924095815681");
  EXPECT_EQ(statuses.Element(0).Find("metadata").Find("iso_language_code").GetString(), "ja");

  rapidjson::Document json;
  json.Parse(text.c_str());
  ASSERT_FALSE(json.HasParseError());
  EXPECT_EQ(Difference(json, result, ""), "");
}

}  // namespace
}  // namespace Halden
