#include "binding/host_value_conversion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "binding/registration.h"
#include "binding/type_code.h"
#include "tests/binding/conversion_test_support.h"
#include "tests/support/allocation_probe.h"

namespace Halden {
namespace {

using binding_test::Describe;
using binding_test::Host;

// Packed fields may be misaligned: tests read them by value.
template <typename T>
T Read(T value) {
  return value;
}

enum class Shade : int32_t { Dark = 0, Light = 1 };

TEST(HostValueConversionTest, PropertiesToHostValuesAndBackAndKindNames) {
  BindingRegistry types;
  RegisterEnum<Shade>(types, "Shade").Value("Dark", Shade::Dark).Value("Light", Shade::Light);
  BindingProperty property;
  property.Member("text").SetString(std::string("a\0b", 3));
  property.Member("blob").SetBlob(std::vector<uint8_t>{7, 8});
  property.Member("noBytes").SetBlob(std::vector<uint8_t>());
  property.Member("named").SetEnum({1, &StaticTypeOf<Shade>()});
  property.Member("unnamed").SetEnum({-2, &StaticTypeOf<Shade>()});
  BindingProperty& list = property.Member("list");
  list.Append().SetBool(true);
  list.Append().SetUnsigned(3);
  list.Append().SetFloat(1.5);
  list.Append().SetString("");
  list.Append();
  property.Member("none").MakeStructure();

  HostValue host;
  ASSERT_TRUE(PropertyToHostValue(property, host, &types));
  ASSERT_EQ(Read(host.kind), kHostStructure);
  const HostMemberEntry* entries = host.structure.entries;
  for (uint32_t i = 0; i < Read(host.structure.count); ++i) EXPECT_EQ(Read(entries[i].keyOwned), 1);
  EXPECT_EQ(Read(entries[3].value.blob.data), nullptr);          // noBytes
  EXPECT_EQ(Read(entries[4].value.structure.entries), nullptr);  // none
  EXPECT_EQ(Read(entries[5].value.text.length), 3u);             // text keeps every byte
  EXPECT_EQ(std::memcmp(entries[5].value.text.data, "a\0b", 4), 0);
  // Enumerations cross as their names, or their numbers when unnamed.
  BindingProperty back;
  ASSERT_TRUE(HostValueToProperty(host, back, "m", nullptr));
  EXPECT_EQ(Describe(back),
            "{blob:bBwg=,list:[true,u3,f1.5,\"\",~],named:\"Light\",noBytes:b,none:{},text:\"a\","
            "unnamed:s-2}");
  // A list read into a property that holds a longer one replaces it whole.
  BindingProperty replaced;
  for (int i = 0; i < 6; ++i) replaced.Append().SetBool(false);
  ASSERT_TRUE(HostValueToProperty(entries[1].value, replaced, "m", nullptr));
  EXPECT_EQ(Describe(replaced), "[true,u3,f1.5,\"\",~]");
  ReleaseHostValue(host);
  EXPECT_EQ(Read(host.kind), kHostNone);
  // Every owned part is freed, from the first element and entry on; a
  // borrowed key is left alone.
  list.At(0).SetString("first");
  const std::size_t live = testing::AllocationLiveBytes();
  ASSERT_TRUE(PropertyToHostValue(property, host, &types));
  HostMemberEntry& last = host.structure.entries[Read(host.structure.count) - 1];
  delete[] last.key;
  last.key = "borrowed";
  last.keyOwned = 0;
  ReleaseHostValue(host);
  EXPECT_EQ(testing::AllocationLiveBytes(), live);
  // Without a registry an enumeration crosses as its number.
  ASSERT_TRUE(PropertyToHostValue(property.Find("named"), host, nullptr));
  EXPECT_EQ(Read(host.kind), kHostSigned);
  EXPECT_EQ(Read(host.signedValue), 1);
  // Whatever the record held before, what is not written is zero.
  std::memset(static_cast<void*>(&host), 0xAB, sizeof host);
  ASSERT_TRUE(PropertyToHostValue(BindingProperty(), host, nullptr));
  EXPECT_EQ(Read(host.kind), kHostNone);
  // Structures nested as deep as the limit convert; one level more does not.
  for (std::size_t levels : {kMaxHostValueNesting - 1, kMaxHostValueNesting}) {
    std::vector<HostMemberEntry> chain(levels, {"n", Host(kHostStructure), 0});
    for (std::size_t i = 0; i + 1 < levels; ++i)
      chain[i].value = Host(kHostStructure, &chain[i + 1], 1);
    const HostValue nested = Host(kHostStructure, chain.data(), 1);
    EXPECT_EQ(FindUnconvertibleHostValue(nested) != nullptr, levels == kMaxHostValueNesting);
    BindingProperty read;
    EXPECT_EQ(HostValueToProperty(nested, read, "m", nullptr), levels < kMaxHostValueNesting);
  }
  // A conversion that runs out of memory half way leaves nothing behind.
  BindingProperty large;
  large.Member("a").SetString("x");
  large.Member("b").SetString(std::string(4096, 'b'));
  const std::size_t before = testing::AllocationLiveBytes();
  {
    const testing::FailingLargeAllocations failing(4096);
    EXPECT_THROW(PropertyToHostValue(large, host, nullptr), std::bad_alloc);
  }
  EXPECT_EQ(testing::AllocationLiveBytes(), before);
  // The names that messages give host kinds and type codes; none past either end,
  // indexed by kind: kHostNone (0) to kHostStructure (10), then one past the last.
  const char* const names[] = {"",       "bool", "signed", "unsigned",   "float",     "string",
                               "string", "blob", "blob",   "collection", "structure", ""};
  static_assert(kHostNone == 0 && kHostStructure == 10);
  for (int32_t kind = 0; kind <= 11; ++kind) EXPECT_STREQ(HostKindName(kind), names[kind]) << kind;
  const auto past = static_cast<BindingTypeCode>(static_cast<int32_t>(BindingTypeCode::Map) + 1);
  EXPECT_STREQ(TypeCodeName(BindingTypeCode::None), "");
  EXPECT_STREQ(TypeCodeName(BindingTypeCode::Bool), "bool");
  EXPECT_STREQ(TypeCodeName(BindingTypeCode::Map), "map");
  EXPECT_STREQ(TypeCodeName(past), "");
}

}  // namespace
}  // namespace Halden
