// The deepest documents each reader accepts are read, copied, written and
// released on a small stack; JSON and MessagePack twins read alike.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "binding/host_value_conversion.h"
#include "binding/message_pack_reader.h"
#include "formats/json_reader.h"
#include "formats/json_to_property.h"
#include "formats/property_to_json.h"
#include "formats/yaml_to_property.h"
#include "formats_test_support.h"
#include "tests/support/small_stack.h"

namespace Halden {
namespace {

BindingResult ReadPacked(const std::string& bytes, uint32_t& position) {
  return ReadMessagePack(reinterpret_cast<const uint8_t*>(bytes.data()),
                         static_cast<uint32_t>(bytes.size()), position);
}

// 512 levels, structures and collections alternating, the number 7 at the
// bottom, as each reader takes it.
std::string DeepestJson() { return Repeat("{\"m\":[", 256) + "7" + Repeat("]}", 256); }
std::string DeepestPacked() { return Repeat("\x81\xA1m\x91", 256) + "\x07"; }
std::string DeepestYaml() {
  std::string text;
  for (int level = 0; level < 255; ++level) text += std::string(level * 2, ' ') + "m:\n";
  return text + std::string(510, ' ') + "m: " + Repeat("[", 256) + "7" + Repeat("]", 256);
}

TEST(DeepestDocumentsTest, ReadCopyWalkWriteAndReleaseOnASmallStack) {
  const std::string json = DeepestJson();
  const std::string packed = DeepestPacked();
  const std::string yaml = DeepestYaml();
  uint32_t position = 0;
  const std::vector<std::pair<std::string, std::function<BindingResult()>>> readers = {
      {"JSON", [&] { return JsonToProperty(json.c_str()); }},
      {"MessagePack", [&] { return ReadPacked(packed, position); }},
      {"YAML", [&] { return YamlToProperty(yaml.data(), yaml.size()); }}};
  for (const auto& [name, read] : readers) {
    std::string written = "not run";
    std::string rewritten;
    ASSERT_TRUE(testing::RunOnSmallStack([&] {
      BindingResult result = read();
      const BindingProperty copy(result);
      written = result.Ok() ? PropertyToJson(copy, nullptr, "") : result.Error();
      rewritten = PropertyToJson(JsonToProperty(PropertyToJson(result, nullptr, "\n").c_str()),
                                 nullptr, "");
      HostValue host;
      BindingProperty back;
      if (!PropertyToHostValue(result, host, nullptr) ||
          !HostValueToProperty(host, back, "m", nullptr) ||
          PropertyToJson(back, nullptr, "") != written) {
        written = "differs after crossing the host boundary";
      }
      ReleaseHostValue(host);
      // Moving a deep child out of its tree copies it, then releases it.
      BindingProperty moved(std::move(result.Member("m")));
    })) << name;
    // YAML keeps no brackets apart: its deepest part is a flow sequence.
    EXPECT_EQ(written, name == "YAML" ? Repeat("{\"m\":", 256) + Repeat("[", 256) + "7" +
                                            Repeat("]", 256) + Repeat("}", 256)
                                      : json)
        << name;
    EXPECT_EQ(rewritten, written) << name;
  }
  bool equalCopy = false;
  ASSERT_TRUE(testing::RunOnSmallStack([&] {
    json::Element document;
    json::Reader::Read(("{\"a\":" + Repeat("[", 511) + Repeat("]", 511) + "}").c_str(), document);
    const json::Element copy = document;
    equalCopy = copy == document;
  }));
  EXPECT_TRUE(equalCopy);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(DeepestDocumentsTest, JsonAndMessagePackTwinsReadAlike) {
  const std::filesystem::path data =
      std::filesystem::path(__FILE__).parent_path() / "../../../shared/bench-data";
  if (!std::filesystem::exists(data / "twitter.msgpack")) GTEST_SKIP() << "no " << data;
  for (const char* name : {"twitter", "citm_catalog", "canada"}) {
    const std::string packed = ReadFile(data / (std::string(name) + ".msgpack"));
    uint32_t position = 0;
    const BindingResult fromPacked = ReadPacked(packed, position);
    EXPECT_EQ(position, packed.size());
    const BindingResult fromJson =
        JsonToProperty(ReadFile(data / (std::string(name) + ".json")).c_str());
    // Written out, small whole numbers read as Signed and as Unsigned agree.
    EXPECT_EQ(PropertyToJson(fromPacked, nullptr, ""), PropertyToJson(fromJson, nullptr, ""))
        << name << fromPacked.Error();
  }
}

}  // namespace
}  // namespace Halden
