#include "formats/host_value_to_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "binding/host_value_conversion.h"
#include "formats/json_to_property.h"
#include "formats/property_to_json.h"

namespace Halden {
namespace {

// The text the way through a property writes, "-" when the tree does not
// convert.
std::string ThroughProperty(const HostValue& value) {
  BindingProperty property;
  if (!HostValueToProperty(value, property, "<value>", nullptr)) return "-";
  return PropertyToJson(property, nullptr, nullptr);
}

std::string Direct(const HostValue& value) {
  std::string json = "not written";
  return HostValueToJson(value, json) ? json : "-";
}

HostValue Scalar(int32_t kind) {
  HostValue value{};
  value.kind = kind;
  return value;
}

// Host trees as a host may make them, written straight or through a
// property, give the same text.
TEST(HostValueToJsonTest, WritesWhatThePropertyWouldWrite) {
  std::vector<HostValue> trees;
  for (const char* json :
       {R"({"a":[1,-2,2.5,true,null,"t\"x"],"b":{"c":{}},"d":[]})", "[]", "7", R"("x")"}) {
    HostValue& tree = trees.emplace_back();
    PropertyToHostValue(JsonToProperty(json), tree, nullptr);
  }
  trees.push_back(Scalar(kHostNone));
  HostValue nan = Scalar(kHostFloat);
  nan.floatValue = std::nan("");
  trees.push_back(nan);
  const uint8_t bytes[] = {0, 1, 2, 250};
  HostValue blob = Scalar(kHostBlobBorrowed);
  blob.blob = {bytes, 4};
  HostValue nullText = Scalar(kHostStringBorrowed);
  nullText.text = {nullptr, 3};
  HostValue cut = Scalar(kHostStringBorrowed);
  cut.text = {"ab\0cd", 5};
  HostValue nullArray = Scalar(kHostCollection);
  nullArray.collection = {nullptr, 2};
  // Keys out of order, repeated (the last counts, objects merge), null.
  HostMemberEntry unordered[] = {{"b", blob, 0}, {"a", nullText, 0}, {nullptr, cut, 0}};
  HostMemberEntry repeated[] = {{"a", nan, 0}, {"a", cut, 0}, {"b", nullArray, 0}};
  HostMemberEntry ordered[] = {{nullptr, cut, 0}, {"a", blob, 0}, {"b", nullText, 0}};
  for (HostMemberEntry* entries : {unordered, repeated, ordered}) {
    HostValue structure = Scalar(kHostStructure);
    structure.structure = {entries, 3};
    trees.push_back(structure);
  }
  // Keys out of order below a collection.
  HostValue listed[] = {Scalar(kHostStructure)};
  listed[0].structure = {unordered, 3};
  HostValue list = Scalar(kHostCollection);
  list.collection = {listed, 1};
  trees.push_back(list);
  // Nothing past a collection's count is read: there lies a structure whose
  // entries are nowhere.
  HostValue past[2] = {cut, Scalar(kHostStructure)};
  past[1].structure = {reinterpret_cast<HostMemberEntry*>(alignof(HostMemberEntry)), 1};
  HostValue shortArray = Scalar(kHostCollection);
  shortArray.collection = {past, 1};
  trees.push_back(shortArray);
  HostMemberEntry unknown[] = {{"x", Scalar(11), 0}};
  HostValue refused = Scalar(kHostStructure);
  refused.structure = {unknown, 1};
  trees.push_back(refused);

  for (const HostValue& tree : trees) EXPECT_EQ(Direct(tree), ThroughProperty(tree));
  EXPECT_EQ(Direct(trees[0]), R"({"a":[1,-2,2.5,true,null,"t\"x"],"b":{"c":{}},"d":[]})");
  EXPECT_EQ(Direct(trees.back()), "-");
  for (int i = 0; i < 4; ++i) ReleaseHostValue(trees[i]);
}

}  // namespace
}  // namespace Halden
