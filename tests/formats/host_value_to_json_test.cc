#include "formats/host_value_to_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "binding/host_value_conversion.h"
#include "formats/json_to_property.h"
#include "formats/property_to_json.h"
#include "tests/binding/conversion_test_support.h"

namespace Halden {
namespace {

using binding_test::Host;

// The text written through a property, "-" when the tree does not convert.
std::string ThroughProperty(const HostValue& value) {
  BindingProperty property;
  if (!HostValueToProperty(value, property, "<value>", nullptr)) return "-";
  return PropertyToJson(property, nullptr, nullptr);
}

std::string Direct(const HostValue& value) {
  std::string json = "not written";
  return HostValueToJson(value, json) ? json : "-";
}

// Host trees as a host may make them write as their properties would.
TEST(HostValueToJsonTest, WritesWhatThePropertyWouldWrite) {
  std::vector<HostValue> trees;
  for (const char* json :
       {R"({"a":[1,-2,2.5,true,null,"t\"x"],"b":{"c":{}},"d":[]})", "[]", "7", R"("x")"}) {
    HostValue& tree = trees.emplace_back();
    PropertyToHostValue(JsonToProperty(json), tree, nullptr);
  }
  trees.push_back(Host(kHostNone));
  HostValue nan = Host(kHostFloat);
  nan.floatValue = std::nan("");
  trees.push_back(nan);
  const uint8_t bytes[] = {0, 1, 2, 250};
  const HostValue blob = Host(kHostBlobBorrowed, bytes, 4);
  const HostValue nullText = Host(kHostStringBorrowed, nullptr, 3);
  const HostValue cut = Host(kHostStringBorrowed, "ab\0cd", 5);
  // Keys out of order, repeated (the last counts, objects merge), null.
  HostMemberEntry unordered[] = {{"b", blob, 0}, {"a", nullText, 0}, {nullptr, cut, 0}};
  HostMemberEntry repeated[] = {
      {"a", nan, 0}, {"a", cut, 0}, {"b", Host(kHostCollection, nullptr, 2), 0}};
  HostMemberEntry ordered[] = {{nullptr, cut, 0}, {"a", blob, 0}, {"b", nullText, 0}};
  for (HostMemberEntry* entries : {unordered, repeated, ordered})
    trees.push_back(Host(kHostStructure, entries, 3));
  // Keys out of order below a collection.
  HostValue listed[] = {Host(kHostStructure, unordered, 3)};
  trees.push_back(Host(kHostCollection, listed, 1));
  // Nothing past a collection's count is read: there lies a structure whose
  // entries are nowhere.
  HostValue past[2] = {
      cut, Host(kHostStructure, reinterpret_cast<HostMemberEntry*>(alignof(HostMemberEntry)), 1)};
  trees.push_back(Host(kHostCollection, past, 1));
  HostMemberEntry unknown[] = {{"x", Host(11), 0}};
  trees.push_back(Host(kHostStructure, unknown, 1));

  for (const HostValue& tree : trees) EXPECT_EQ(Direct(tree), ThroughProperty(tree));
  EXPECT_EQ(Direct(trees[0]), R"({"a":[1,-2,2.5,true,null,"t\"x"],"b":{"c":{}},"d":[]})");
  EXPECT_EQ(Direct(trees.back()), "-");
  for (int i = 0; i < 4; ++i) ReleaseHostValue(trees[i]);
}

}  // namespace
}  // namespace Halden
