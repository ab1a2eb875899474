#include "binding/host_value_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "binding/native_conversion.h"
#include "binding/registration.h"
#include "tests/binding/conversion_test_support.h"
#include "tests/support/allocation_probe.h"

namespace Halden {
namespace {

using binding_test::Describe;
using binding_test::Host;
using binding_test::HostSigned;

// Packed fields may be misaligned: tests read them by value.
template <typename T>
T Read(T value) {
  return value;
}

JsonApiResponse EmptyRecord() {
  JsonApiResponse record;
  std::memset(static_cast<void*>(&record), 0, sizeof record);
  return record;
}

std::string Converted(const HostValue& value) {
  BindingProperty property;
  property.SetSigned(99);  // replaced whatever the kind
  JsonApiResponse record = EmptyRecord();
  if (!HostValueToProperty(value, property, "m", &record)) {
    const std::string error = record.errorText;
    delete[] record.errorText;
    return "error: " + error;
  }
  return Describe(property);
}

TEST(HostValueConversionTest, HostValuesToProperties) {
  const uint8_t bytes[] = {1, 2, 0, 4};
  HostValue elements[] = {HostSigned(-1), Host(kHostNone)};
  HostMemberEntry entries[] = {{"b", HostSigned(2), 0},
                               {"a", Host(kHostStringBorrowed, "x", 1), 0}};
  HostValue boolean = Host(kHostBool);
  boolean.boolean = 1;
  HostValue unsignedValue = Host(kHostUnsigned);
  unsignedValue.unsignedValue = 18446744073709551615u;
  HostValue real = Host(kHostFloat);
  real.floatValue = 0.5;
  struct Case {
    HostValue value;
    std::string expected;
  };
  const Case cases[] = {
      {Host(kHostNone), "~"},
      {boolean, "true"},
      {HostSigned(-7), "s-7"},
      {unsignedValue, "u18446744073709551615"},
      {real, "f0.5"},
      // Texts stop at the first NUL; the length word is not used.
      {Host(kHostStringBorrowed, "ab\0c", 4), "\"ab\""},
      {Host(kHostStringOwned, "abc", 1), "\"abc\""},
      {Host(kHostBlobBorrowed, bytes, 4), "bAQIABA=="},
      {Host(kHostCollection, elements, 2), "[s-1,~]"},
      {Host(kHostStructure, entries, 2), "{a:\"x\",b:s2}"},
      // Null pointers count as empty whatever the length or count.
      {Host(kHostStringOwned, nullptr, 5), "\"\""},
      {Host(kHostBlobBorrowed, nullptr, 5), "b"},
      {Host(kHostCollection, nullptr, 3), "[]"},
      {Host(kHostStructure, nullptr, 3), "{}"},
      {Host(11),
       "error: Couldn't assign value to 'm' of type object because the input is of an "
       "incompatible type ''."}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(Converted(c.value), c.expected);
  }
  HostMemberEntry nullKey[] = {{nullptr, HostSigned(1), 0}};
  EXPECT_EQ(Converted(Host(kHostStructure, nullKey, 1)), "{:s1}");
}

TEST(HostValueConversionTest, FailingEntryKeepsEarlierMembersAndFillsTheErrorRecord) {
  HostMemberEntry entries[] = {
      {"first", HostSigned(1), 0}, {"bad", Host(11), 0}, {"last", HostSigned(3), 0}};
  const HostValue value = Host(kHostStructure, entries, 3);

  JsonApiResponse record = EmptyRecord();
  BindingProperty body;
  body.SetString("owned body");
  ASSERT_TRUE(PropertyToHostValue(body, record.body, nullptr));  // released on failure

  BindingProperty property;
  EXPECT_FALSE(HostValueToProperty(value, property, "arg", &record));
  EXPECT_EQ(Describe(property), "{bad:~,first:s1}");
  EXPECT_EQ(Read(record.body.kind), kHostNone);
  EXPECT_EQ(Read(record.errorFlag), 1);
  ASSERT_NE(record.errorText, nullptr);
  EXPECT_STREQ(record.errorText,
               "Couldn't assign value to 'arg' of type object because the input is of an "
               "incompatible type ''.");
  delete[] record.errorText;

  // Without a record the failure is only the result.
  EXPECT_FALSE(HostValueToProperty(value, property, "arg", nullptr));
  // The message names the kind it met.
  const std::pair<int32_t, const char*> names[] = {{kHostBool, "bool"},
                                                   {kHostSigned, "signed"},
                                                   {kHostUnsigned, "unsigned"},
                                                   {kHostFloat, "float"},
                                                   {kHostStringBorrowed, "string"},
                                                   {kHostStringOwned, "string"},
                                                   {kHostBlobBorrowed, "blob"},
                                                   {kHostBlobOwned, "blob"},
                                                   {kHostCollection, "collection"},
                                                   {kHostStructure, "structure"},
                                                   {kHostNone, ""}};
  for (const auto& [kind, name] : names) {
    EXPECT_EQ(IncompatibleHostValueMessage("m", kind),
              "Couldn't assign value to 'm' of type object because the input is of an "
              "incompatible type '" +
                  std::string(name) + "'.");
  }
}

// A chain of `depth` nested collections around Signed 1, on the heap.
struct HostChain {
  explicit HostChain(int depth) : links(depth + 1) {
    links[depth] = HostSigned(1);
    for (int i = depth - 1; i >= 0; --i) links[i] = Host(kHostCollection, &links[i + 1], 1);
  }
  std::vector<HostValue> links;
};

TEST(HostValueConversionTest, NestingIsLimited) {
  const HostChain longer(kMaxHostValueNesting + 1);
  EXPECT_EQ(Converted(longer.links[0]),
            "error: Couldn't assign value to 'm' of type object because the input is of an "
            "incompatible type 'collection'.");
  BindingProperty property;
  ASSERT_TRUE(HostValueToProperty(longer.links[1], property, "m", nullptr));
  BindingProperty deeper;
  deeper.Append() = property;
  HostValue released = HostSigned(5);
  EXPECT_FALSE(PropertyToHostValue(deeper, released, nullptr));
  EXPECT_EQ(Read(released.kind), kHostNone);
}

// A native value written straight into a host value must give the very
// tree that the way through a property gives, and take that way whenever it
// would leave members out, merge them or fail.
enum class Shade : int32_t { Dark = 0, Light = 1, Pale = 1 };
enum class Late : int32_t { A = 0 };

struct Point {
  int8_t i8 = 0;
  uint16_t u16 = 0;
  int32_t i32 = 0;
  uint32_t u32 = 0;
  int64_t i64 = 0;
  uint64_t u64 = 0;
  float f = 0;
  double d = 0;
  bool b = false;
};

struct Record {
  std::string name;
  Shade shade = Shade::Dark;
  Point point;
  std::vector<Point> points;
  std::vector<std::string> words;
  std::vector<Shade> shades;
  BindingProperty any;
  std::vector<BindingProperty> anys;
  Late late = Late::A;
};

struct Omitting {
  std::string text;
};

struct Twice {
  int32_t a = 1;
  int32_t b = 2;
};

struct Unregistered {
  int32_t x = 0;
};

// A member after the failing one, in key order too.
struct HoldsUnregistered {
  std::vector<Unregistered> list;
  int32_t next = 0;
};

struct Bare {};

// A record that holds records of its own type nests as deep as its value.
struct Tree {
  std::vector<Tree> children;
};

// A tree one level down, so that a vector comes where the levels end.
struct Rooted {
  Tree tree;
};

const BindingRegistry& Types() {
  static const BindingRegistry* registry = [] {
    auto* made = new BindingRegistry;
    RegisterEnum<Shade>(*made, "Shade")
        .Value("Dark", Shade::Dark)
        .Value("Pale", Shade::Pale)
        .Value("Light", Shade::Light);
    RegisterStruct<Point>(*made, "Point")
        .Field("i8", &Point::i8)
        .Field("u16", &Point::u16)
        .Field("i32", &Point::i32)
        .Field("u32", &Point::u32)
        .Field("i64", &Point::i64)
        .Field("u64", &Point::u64)
        .Field("f", &Point::f)
        .Field("d", &Point::d)
        .Field("b", &Point::b);
    // Members in another order than their keys', one enumeration registered
    // only after the record.
    RegisterStruct<Record>(*made, "Record")
        .Field("name", &Record::name)
        .Field("shade", &Record::shade)
        .Field("point", &Record::point)
        .Field("points", &Record::points)
        .Field("words", &Record::words)
        .Field("shades", &Record::shades)
        .Field("any", &Record::any)
        .Field("anys", &Record::anys)
        .Field("late", &Record::late);
    RegisterEnum<Late>(*made, "Late").Value("A", Late::A);
    RegisterStruct<Omitting>(*made, "Omitting")
        .Field("text", &Omitting::text, "", kBindingFieldOmitIfEmpty);
    RegisterStruct<Twice>(*made, "Twice").Field("k", &Twice::a).Field("k", &Twice::b);
    RegisterStruct<HoldsUnregistered>(*made, "HoldsUnregistered")
        .Field("list", &HoldsUnregistered::list)
        .Field("next", &HoldsUnregistered::next);
    RegisterStruct<Bare>(*made, "Bare");
    RegisterStruct<Tree>(*made, "Tree").Field("children", &Tree::children);
    RegisterStruct<Rooted>(*made, "Rooted").Field("tree", &Rooted::tree);
    return made;
  }();
  return *registry;
}

// Every field of a tree, ownership flags included.
std::string DescribeHost(const HostValue& value) {
  std::string text = std::to_string(value.kind);
  switch (value.kind) {
    case kHostBool:
      return text + ":" + std::to_string(value.boolean);
    case kHostSigned:
    case kHostUnsigned:
    case kHostFloat:
      return text + ":" + std::to_string(value.unsignedValue);
    case kHostStringOwned:
      return text + ":" + std::to_string(value.text.length) + "\"" +
             std::string(value.text.data, std::strlen(value.text.data)) + "\"";
    case kHostCollection: {
      text += value.collection.elements == nullptr ? "[null" : "[";
      for (uint32_t i = 0; i < value.collection.count; ++i) {
        text += DescribeHost(value.collection.elements[i]) + ",";
      }
      return text + "]";
    }
    case kHostStructure: {
      text += value.structure.entries == nullptr ? "{null" : "{";
      for (uint32_t i = 0; i < value.structure.count; ++i) {
        const HostMemberEntry& entry = value.structure.entries[i];
        text += std::string(entry.key) + (entry.keyOwned != 0 ? "=" : "~") +
                DescribeHost(entry.value) + ",";
      }
      return text + "}";
    }
    default:
      return text;
  }
}

// What each way makes of `value`: the tree, or "-" for none, and through a
// property its failure's message.
template <typename T>
std::pair<std::string, std::string> BothWays(const T& value) {
  const BindingRegistry& registry = Types();
  std::pair<std::string, std::string> ways{"-", "-"};
  HostValue direct{};
  if (WriteHostValue(registry, value, direct)) {
    ways.first = DescribeHost(direct);
  } else {
    EXPECT_EQ(Read(direct.kind), kHostNone);  // released
  }
  ReleaseHostValue(direct);
  const BindingResult property = ConvertToProperty(registry, value);
  HostValue converted{};
  if (!property.Ok()) {
    ways.second = property.Error();
  } else if (PropertyToHostValue(property, converted, &registry)) {
    ways.second = DescribeHost(converted);
  }
  ReleaseHostValue(converted);
  return ways;
}

// A tree of `levels` records, each in a vector of its parent: two levels of
// containers a record.
Tree Grown(int levels) {
  Tree root;
  Tree* at = &root;
  for (int level = 1; level < levels; ++level) at = &at->children.emplace_back();
  return root;
}

BindingProperty Nested(int levels) {
  BindingProperty root;
  BindingProperty* at = &root;
  for (int level = 0; level < levels; ++level) at = &at->Append();
  return root;
}

TEST(HostValueWritingTest, EveryConverterWritesWhatThePropertyWouldCross) {
  Point point{-5,
              65535,
              std::numeric_limits<int32_t>::min(),
              4294967295u,
              std::numeric_limits<int64_t>::min(),
              std::numeric_limits<uint64_t>::max(),
              1.5f,
              std::nan(""),
              true};
  Record record;
  record.name = std::string("ab\0cd", 5);
  record.shade = Shade::Pale;
  record.point = point;
  record.points = {point, Point{}};
  record.words = {"", "w"};
  record.shades = {Shade::Dark, static_cast<Shade>(7)};
  record.any.Member("k").Append().SetBlob(std::vector<uint8_t>{1, 2});
  record.anys.resize(2);
  record.anys[1].SetEnum({1, &StaticTypeOf<Shade>()});
  Record deepest;
  deepest.any = Nested(511);
  Record tooDeep;
  tooDeep.any = Nested(512);

  struct Row {
    const char* name;
    std::function<std::pair<std::string, std::string>()> ways;
    bool direct;
  } rows[] = {
      {"point", [&] { return BothWays(point); }, true},
      {"record", [&] { return BothWays(record); }, true},
      {"empty record", [] { return BothWays(Record{}); }, true},
      {"vector", [&] { return BothWays(record.points); }, true},
      {"scalars", [] { return BothWays(std::string("x\0y", 3)); }, true},
      {"enum without a name", [] { return BothWays(static_cast<Shade>(9)); }, true},
      {"empty property", [] { return BothWays(BindingProperty()); }, true},
      {"512 levels", [&] { return BothWays(deepest); }, true},
      {"513 levels", [&] { return BothWays(tooDeep); }, false},
      {"512 levels of records", [] { return BothWays(Grown(256)); }, true},
      {"514 levels of records", [] { return BothWays(Grown(257)); }, false},
      {"a vector at level 513", [] { return BothWays(Rooted{Grown(256)}); }, false},
      {"left out when empty", [] { return BothWays(Omitting{}); }, false},
      {"two members of one name", [] { return BothWays(Twice{}); }, false},
      {"no members", [] { return BothWays(Bare{}); }, true},
      {"unregistered", [] { return BothWays(Unregistered{}); }, false},
      {"unregistered elements", [] { return BothWays(HoldsUnregistered{{{}}}); }, false},
  };
  for (const Row& row : rows) {
    const auto [direct, throughProperty] = row.ways();
    if (row.direct) {
      EXPECT_EQ(direct, throughProperty) << row.name;
    } else {
      EXPECT_EQ(direct, "-") << row.name;
    }
  }
  EXPECT_EQ(BothWays(Twice{}).second, "10{k=2:2,}");
  EXPECT_EQ(Describe(ConvertToProperty(Types(), HoldsUnregistered{{{}}})),
            "{error:\"Couldn't convert native value because it's an unregistered structure.\"}");
  // Out of memory half way, the write releases what it made before throwing.
  Record large;
  large.words.assign(100, "w");
  HostValue out{};
  {
    testing::FailingLargeAllocations failing(1000);
    EXPECT_THROW(WriteHostValue(Types(), large, out), std::bad_alloc);
  }
  EXPECT_EQ(Read(out.kind), kHostNone);
}

TEST(HostValueConversionTest, PropertiesToHostValuesAndBack) {
  const BindingRegistry* registry = &Types();
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
  ASSERT_TRUE(PropertyToHostValue(property, host, registry));
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
  ReleaseHostValue(host);
  EXPECT_EQ(Read(host.kind), kHostNone);
  // Every owned part is freed, from the first element and entry on, and a
  // borrowed key is left alone.
  list.At(0).SetString("first");
  const std::size_t live = testing::AllocationLiveBytes();
  ASSERT_TRUE(PropertyToHostValue(property, host, registry));
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
}

}  // namespace
}  // namespace Halden
