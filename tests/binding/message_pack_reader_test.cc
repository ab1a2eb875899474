#include "binding/message_pack_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tests/binding/conversion_test_support.h"

namespace Halden {
namespace {

using binding_test::Describe;

// "91 01" -> {0x91, 0x01}.
std::vector<uint8_t> Bytes(std::string_view hex) {
  std::vector<uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 3)
    bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return bytes;
}

std::string Repeat(std::string_view hex, int times, std::string_view tail = "") {
  std::string text;
  for (int i = 0; i < times; ++i) text.append(hex).append(" ");
  return text.append(tail);
}

TEST(MessagePackReaderTest, ReadsValuesAndReportsFaultsWithTheirPositionsAndIsRecognised) {
  struct Case {
    std::string hex;
    std::string expected;  // the rendered tree, or the failure message
    uint32_t position;
  };
  const Case cases[] = {
      {"", "~", 0},
      {"05", "s5", 1},
      {"E0", "s-32", 1},
      {"05 06", "s5", 1},
      {"C0", "~", 1},
      {"C3", "true", 1},
      {"CC 05", "u5", 2},
      {"CD 01 00", "u256", 3},
      {"CE FF FF FF FF", "u4294967295", 5},
      {"CF FF FF FF FF FF FF FF FF", "u18446744073709551615", 9},
      {"D0 80", "s-128", 2},
      {"D1 FF 00", "s-256", 3},
      {"D2 FF FF FF FE", "s-2", 5},
      {"D3 80 00 00 00 00 00 00 00", "s-9223372036854775808", 9},
      {"CA 3D CC CC CD", "f0.10000000149011612", 5},
      {"CB 3F F8 00 00 00 00 00 00", "f1.5", 9},
      {"A0", "\"\"", 1},
      {"D9 01 61", "\"a\"", 3},
      {"DA 00 01 61", "\"a\"", 4},
      {"A4 00 61 00 FF", std::string("\"\0a\0\xFF\"", 6), 5},
      {"DB 00 00 00 01 61", "\"a\"", 6},
      {"C4 02 01 12", "bARI=", 4},
      {"C5 00 01 FF", "b/w==", 4},
      {"C6 00 00 00 01 FF", "b/w==", 6},
      {"90", "[]", 1},
      {"92 01", "[s1]", 2},
      {"91 01 02", "[s1]", 2},
      {"DC 00 02 01 02", "[s1,s2]", 5},
      {"80", "{}", 1},
      {"82 A1 62 01 A1 61 92 C3 A0", "{a:[true,\"\"],b:s1}", 9},
      {"DF 00 00 00 01 D9 01 61 05", "{a:s5}", 9},
      {"DE 00 01 A1 61 05", "{a:s5}", 6},
      {"82 A1 61 01 A1 62", "{a:s1}", 6},
      {"82 A1 61", "{}", 3},
      {"8F A1 61 01", "{a:s1}", 4},
      // Repeated keys write into the same member.
      {"82 A1 61 01 A1 61 02", "{a:s2}", 7},
      {"82 A1 61 01 A1 61 C0", "{a:s1}", 7},
      {"82 A1 61 81 A1 62 01 A1 61 81 A1 63 02", "{a:{b:s1,c:s2}}", 13},
      {"82 A1 61 93 01 02 03 A1 61 91 04", "{a:[s4,s2,s3]}", 11},
      {"82 A1 61 05 A1 61 91 06", "{a:[s6]}", 8},
      // Announced counts and lengths beyond the input cost nothing and are
      // read as wide numbers: 0x80000000 pairs are not 0 items.
      {"DF FF FF FF FF", "{}", 5},
      {"DD FF FF FF FF", "[]", 5},
      {"DD 0F FF FF FF C3", "[true]", 6},
      {"DF 80 00 00 00 A1 61 01", "{a:s1}", 8},
      {"DB FF FF FF FF 61", "!. String of size 4294967295 at position 5 is truncated.", 5},
      {"C6 FF FF FF FF 61", "!. Raw bytes of size 4294967295 at position 5 are truncated.", 5},
      // Faults.
      {"81 01 02", "! at position 2. Map keys must be strings.", 2},
      {"81 A1 61 81 90", "! at position 5. Map keys must be strings.", 5},
      {"C1", "! at position 1.", 1},
      {"C9 00 00 00 00 01", "! at position 1.", 1},
      {"92 01 D8", "! at position 3.", 3},
      {"CD 01", "!. 16-bit integer value at position 1 is truncated.", 1},
      {"D9", "!. 8-bit integer value at position 1 is truncated.", 1},
      {"C4", "!. 8-bit integer value at position 1 is truncated.", 1},
      {"CA 00 00 00", "!. 32-bit integer value at position 1 is truncated.", 1},
      {"91 CB 00", "!. 64-bit integer value at position 2 is truncated.", 2},
      {"D3 00 00 00 00 00 00 00", "!. 64-bit integer value at position 1 is truncated.", 1},
      {"A3 61 62", "!. String of size 3 at position 1 is truncated.", 1},
      {"81 A2 61", "!. String of size 2 at position 2 is truncated.", 2},
      {"C4 02 01", "!. Raw bytes of size 2 at position 2 are truncated.", 2},
      // Nesting: 512 levels are read, the 513th is refused.
      {Repeat("91", 512, "01"), std::string(512, '[') + "s1" + std::string(512, ']'), 513},
      {Repeat("91", 513), "! at position 513. Nesting is deeper than 512 levels.", 513},
      {Repeat("91", 512, "DC 00"), "! at position 513. Nesting is deeper than 512 levels.", 513},
      {Repeat("81 A1 61", 513, "C3"), "! at position 1537. Nesting is deeper than 512 levels.",
       1537},
      {Repeat("91", 100000), "! at position 513. Nesting is deeper than 512 levels.", 513}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex.substr(0, 48));
    const std::vector<uint8_t> bytes = Bytes(c.hex);
    uint32_t position = 12345;
    const BindingResult result =
        ReadMessagePack(bytes.data(), static_cast<uint32_t>(bytes.size()), position);
    // "!" stands for the messages' common beginning.
    const bool fails = c.expected.starts_with("!");
    const std::string expected =
        fails ? "Invalid MessagePack data" + c.expected.substr(1) : c.expected;
    EXPECT_EQ(result.Ok(), !fails);
    EXPECT_EQ(fails ? result.Error() : Describe(result), expected);
    EXPECT_EQ(position, c.position);
    EXPECT_TRUE(!fails || result.Size() == 1u);  // a failure holds only its message
  }
  // Only maps and arrays look like MessagePack.
  for (const char* hex : {"80", "9F", "DC", "DF"})
    EXPECT_TRUE(LooksLikeMessagePack(Bytes(hex).data(), 1));
  for (const char* hex : {"7F", "A0", "DB", "E0", "7B"})
    EXPECT_FALSE(LooksLikeMessagePack(Bytes(hex).data(), 1));
  EXPECT_FALSE(LooksLikeMessagePack(Bytes("80").data(), 0));
}

}  // namespace
}  // namespace Halden
