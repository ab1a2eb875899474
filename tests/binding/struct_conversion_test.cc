#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "binding/host_value_conversion.h"
#include "binding/native_conversion.h"
#include "binding/registration.h"
#include "tests/binding/conversion_test_support.h"
#include "tests/support/allocation_probe.h"

namespace Halden {
namespace {

using namespace binding_test;

enum class Color : int32_t { Red = 1, Green = 2 };

struct Inner {
  std::string label;
  Color color = Color::Red;
};

// Every native type that has a converter.
struct Outer {
  bool flag = false;
  int32_t i32 = 0;
  uint32_t u32 = 0;
  int64_t i64 = 0;
  uint64_t u64 = 0;
  float f32 = 0;
  double f64 = 0;
  std::string text;
  Color color = Color::Red;
  Inner inner;
  std::vector<Inner> inners;
  std::vector<std::string> names;
  std::vector<int32_t> numbers;
  std::vector<BindingProperty> objects;
  BindingProperty object;
  std::vector<Color> colors;
  std::vector<uint8_t> bytes;
};

struct Unlisted {
  int32_t value = 0;
};

// Holder, with a member that may be left out, is written member by member;
// HoldsUnlisted straight in key order. Both fail on an unregistered record.
struct Holder {
  Unlisted unlisted;
  std::vector<Unlisted> many;
  int32_t after = 0;
};
struct HoldsUnlisted {
  std::vector<Unlisted> list;
  int32_t next = 0;
};

struct Flagged {
  int32_t must = 0;
  std::string maybe;
  int32_t zero = 0;
  bool off = false;
  std::vector<int32_t> none;
  Color color = Color::Red;
  BindingProperty nothing;
};

// Two members of one name: the later replaces the earlier, not merges into it.
struct Twice {
  std::vector<int32_t> a = {1};
  std::vector<int32_t> b = {2};
};

struct Bare {};

// Registered as b, c, a: its fields' order is not its key order.
struct Trio {
  int32_t a = 0, b = 0, c = 0;
};

// Named with a NUL in it: the member is the name's first part.
struct Cut {
  int32_t id = 0;
};

// An enumeration registered only after the record that holds it.
enum class Late : int32_t { A = 0 };
struct Lately {
  Late late = Late::A;
};

// A record that holds records of its own type nests as deep as its value.
struct Tree {
  std::vector<Tree> children;
};

// One level down, so that a vector comes where the levels end.
struct Rooted {
  Tree tree;
};

// A structure whose one member `name` is `value`.
BindingProperty With(const char* name, BindingProperty value) {
  BindingProperty input;
  input.Member(name) = std::move(value);
  return input;
}

class StructConversionTest : public ::testing::Test {
 protected:
  StructConversionTest() {
    // Two names of one value: the first in name order is written.
    RegisterEnum<Color>(registry, "Color")
        .Value("Red", Color::Red)
        .Value("Green", Color::Green)
        .Value("Verdant", Color::Green);
    RegisterStruct<Inner>(registry, "Inner")
        .Field("label", &Inner::label)
        .Field("color", &Inner::color);
    RegisterStruct<Outer>(registry, "Outer")
        .Field("flag", &Outer::flag)
        .Field("i32", &Outer::i32)
        .Field("u32", &Outer::u32)
        .Field("i64", &Outer::i64)
        .Field("u64", &Outer::u64)
        .Field("f32", &Outer::f32)
        .Field("f64", &Outer::f64)
        .Field("text", &Outer::text)
        .Field("color", &Outer::color)
        .Field("inner", &Outer::inner)
        .Field("inners", &Outer::inners)
        .Field("names", &Outer::names)
        .Field("numbers", &Outer::numbers)
        .Field("objects", &Outer::objects)
        .Field("object", &Outer::object)
        .Field("colors", &Outer::colors)
        .Field("bytes", &Outer::bytes);
    RegisterStruct<Holder>(registry, "Holder")
        .Field("unlisted", &Holder::unlisted)
        .Field("many", &Holder::many, "", kBindingFieldOmitIfEmpty)
        .Field("after", &Holder::after);
    RegisterStruct<Flagged>(registry, "Flagged")
        .Field("must", &Flagged::must, "", kBindingFieldRequired)
        .Field("maybe", &Flagged::maybe, "", kBindingFieldOmitIfEmpty)
        .Field("zero", &Flagged::zero, "", kBindingFieldOmitIfEmpty)
        .Field("off", &Flagged::off, "", kBindingFieldOmitIfEmpty)
        .Field("none", &Flagged::none, "", kBindingFieldOmitIfEmpty)
        .Field("color", &Flagged::color, "", kBindingFieldOmitIfEmpty)
        .Field("nothing", &Flagged::nothing, "", kBindingFieldOmitIfEmpty);
    RegisterStruct<HoldsUnlisted>(registry, "HoldsUnlisted")
        .Field("list", &HoldsUnlisted::list)
        .Field("next", &HoldsUnlisted::next);
    RegisterStruct<Twice>(registry, "Twice").Field("k", &Twice::a).Field("k", &Twice::b);
    RegisterStruct<Bare>(registry, "Bare");
    RegisterStruct<Trio>(registry, "Trio")
        .Field("b", &Trio::b)
        .Field("c", &Trio::c)
        .Field("a", &Trio::a);
    RegisterStruct<Cut>(registry, "Cut").Field(std::string("id\0x", 4), &Cut::id);
    // A one-letter name: the shortest key a record writes.
    RegisterStruct<Lately>(registry, "Lately").Field("l", &Lately::late);
    RegisterEnum<Late>(registry, "Late").Value("A", Late::A);
    RegisterStruct<Tree>(registry, "Tree").Field("children", &Tree::children);
    RegisterStruct<Rooted>(registry, "Rooted").Field("tree", &Rooted::tree);
  }

  static Outer Sample() {
    Outer outer{
        .flag = true,
        .i32 = -2000000000,
        .u32 = 4000000000u,
        .i64 = -9000000000000000000LL,
        .u64 = 18000000000000000000u,
        .f32 = 0.5f,
        .f64 = -1.25,
        .text = "text",
        .color = Color::Green,
        .inner = {"in", Color::Green},
        .inners = {{"a", Color::Red}, {"b", Color::Green}},
        .names = {"x", "", "y"},
        .numbers = {1, -2},
        .objects = {With("k", Text("v")), BindingProperty().SetBlob(std::vector<uint8_t>{1, 2, 3})},
        .object = {},
        .colors = {Color::Green},
        .bytes = {0, 255}};
    outer.object.Append().SetFloat(2.5);
    return outer;
  }

  BindingRegistry registry;
};

// The rules' messages; and reading a host value where it lies gives the
// message and native value that reading it through a property gives.
TEST_F(StructConversionTest, MessagesAndHostValuesReadAsTheirProperties) {
  auto expectSame = [&](const HostValue& host) {
    Outer direct = Sample();
    Outer staged = Sample();
    BindingProperty property;
    JsonApiResponse refused{};
    std::string stagedError;
    if (HostValueToProperty(host, property, "o", &refused)) {
      stagedError = ConvertFromProperty(registry, property, staged, "o").Error();
    } else {
      stagedError = refused.errorText;
      delete[] refused.errorText;
    }
    EXPECT_EQ(ConvertFromHostValue(registry, host, direct, "o").Error(), stagedError);
    EXPECT_EQ(Describe(ConvertToProperty(registry, direct)),
              Describe(ConvertToProperty(registry, staged)));
    return stagedError;
  };
  BindingProperty mixed = With("i32", Text("12"));
  mixed.Member("flag").SetString("true");
  mixed.Member("f64").SetSigned(3);
  mixed.Member("names").Append().SetString("a");
  mixed.Member("names").Append();
  mixed.Member("object").Member("deep").Append().SetString("x");
  const BindingProperty number = Signed(3);
  BindingProperty badColor;
  badColor.Append().Member("color").SetString("Blue");
  const std::pair<BindingProperty, std::string> cases[] = {
      {ConvertToProperty(registry, Sample()), ""},
      {mixed, ""},
      {With("object", number), ""},
      {BindingProperty(), "A value for 'o' is required."},
      {number, "Couldn't assign value to 'o' of type Outer because the input not a structure."},
      {With("inner", number),
       "Couldn't assign value to 'inner' of type Inner because the input not a structure."},
      // Messages from nested members name only the innermost member.
      {With("inner", With("color", number)),
       "3 is not a valid Color enumeration value for 'color'."},
      {With("inners", badColor), "Blue is not a valid Color enumeration value for 'color'."},
      {With("numbers", With("0", number)),
       "Couldn't assign value to 'numbers' of type vector because the input not a collection."},
      {With("u32", Signed(-1)), "Value -1 for 'u32' of type uint32 is out of range"},
      {With("text", BindingProperty().SetBlob(std::vector<uint8_t>{1, 2})),
       "Couldn't assign value to 'text' because the input is not a string."},
      {With("bytes", Text("x")),
       "Couldn't assign value to 'bytes' of type vector because the input not a collection."},
  };
  for (const auto& [input, error] : cases) {
    SCOPED_TRACE(Describe(input));
    Outer outer;
    EXPECT_EQ(ConvertFromProperty(registry, input, outer, "o").Error(), error);
    HostValue host;
    ASSERT_TRUE(PropertyToHostValue(input, host, &registry));
    expectSame(host);
    ReleaseHostValue(host);
  }
  // A vector refused as a whole is left empty, however long the text it got.
  Outer refused;
  refused.numbers = {1};
  ConvertFromProperty(registry, With("numbers", Text(std::string(1000, 'x'))), refused, "o");
  EXPECT_TRUE(refused.numbers.empty());

  // Trees only the host makes: repeated keys (the last counts, kind 0 as
  // missing), null keys, texts and arrays, a text past its NUL.
  HostMemberEntry repeated[] = {{"i32", HostSigned(1), 0},
                                {"i32", HostSigned(2), 0},
                                {"i64", HostSigned(7), 0},
                                {"i64", Host(kHostNone), 0},
                                {nullptr, HostSigned(5), 0},
                                {"text", Host(kHostStringBorrowed, nullptr, 4), 0},
                                {"inner", Host(kHostStructure, nullptr, 3), 0},
                                {"names", Host(kHostCollection, nullptr, 2), 0},
                                {"object", Host(kHostStringOwned, "ab\0cd", 5), 0}};
  expectSame(Host(kHostStructure, repeated, 9));
  // Entries one per field in key order, then a key again.
  HostMemberEntry lined[] = {{"color", Host(kHostStringBorrowed, "Red", 3), 0},
                             {"label", Host(kHostStringBorrowed, "a", 1), 0},
                             {"label", Host(kHostStringBorrowed, "b", 1), 0}};
  HostMemberEntry holdsLined[] = {{"inner", Host(kHostStructure, lined, 3), 0}};
  expectSame(Host(kHostStructure, holdsLined, 1));
  // Two fields of one name, and one entry for each: both read the last.
  HostValue one = HostSigned(1), two = HostSigned(2);
  HostMemberEntry twiceKeys[] = {{"k", Host(kHostCollection, &one, 1), 0},
                                 {"k", Host(kHostCollection, &two, 1), 0}};
  Twice twice;
  EXPECT_TRUE(ConvertFromHostValue(registry, Host(kHostStructure, twiceKeys, 2), twice, "t").Ok());
  EXPECT_EQ(twice.a, std::vector<int32_t>{2});
  EXPECT_EQ(twice.b, std::vector<int32_t>{2});
  // One entry per field in key, field or neither order: each reads its own.
  const HostMemberEntry a{"a", HostSigned(1), 0}, b{"b", HostSigned(2), 0},
      c{"c", HostSigned(3), 0};
  for (const auto& entries : {std::array{a, b, c}, std::array{b, c, a}, std::array{c, a, b}}) {
    Trio trio;
    EXPECT_TRUE(
        ConvertFromHostValue(registry, Host(kHostStructure, entries.data(), 3), trio, "t").Ok());
    EXPECT_EQ((std::array{trio.a, trio.b, trio.c}), (std::array{1, 2, 3})) << entries[0].key;
  }
  // A field name with a NUL reads the key of its first part, alone or not.
  HostMemberEntry cutKeys[] = {{"id", HostSigned(5), 0}, {"other", HostSigned(1), 0}};
  for (uint32_t count : {1u, 2u}) {
    Cut cut;
    EXPECT_TRUE(
        ConvertFromHostValue(registry, Host(kHostStructure, cutKeys, count), cut, "c").Ok());
    EXPECT_EQ(cut.id, 5) << count;
  }
  // An unconvertible kind fails the whole tree, even unread; so does depth.
  HostValue unknownKind = Host(42);
  HostMemberEntry unread[] = {{"i32", HostSigned(1), 0},
                              {"unknown", Host(kHostCollection, &unknownKind, 1), 0}};
  expectSame(Host(kHostStructure, unread, 2));
  std::vector<HostValue> chain(kMaxHostValueNesting + 1, Host(kHostNone));
  for (std::size_t i = 0; i + 1 < chain.size(); ++i)
    chain[i] = Host(kHostCollection, &chain[i + 1], 1);
  HostMemberEntry deep[] = {{"object", chain[0], 0}};
  EXPECT_EQ(expectSame(Host(kHostStructure, deep, 1)),
            "Couldn't assign value to 'o' of type object because the input is of an "
            "incompatible type 'collection'.");
}

TEST_F(StructConversionTest, UnregisteredStructsAndFieldFlags) {
  // A member's failure becomes the whole output's; no later member is written.
  const std::string unregistered =
      "{error:\"Couldn't convert native value because it's an unregistered structure.\"}";
  Holder holder;
  EXPECT_EQ(Describe(ConvertToProperty(registry, holder)), unregistered);
  // The same when the members are written in key order.
  EXPECT_EQ(Describe(ConvertToProperty(registry, HoldsUnlisted{.list = {{}}, .next = 1})),
            unregistered);
  holder.many.resize(1);
  BindingProperty input;
  input.Member("many").Append().Member("value").SetSigned(1);
  EXPECT_EQ(ConvertFromProperty(registry, input, holder, "h").Error(),
            "Couldn't assign value to 'many' because the input is an unregistered structure or "
            "not a structure at all.");

  Flagged flagged;
  flagged.color = static_cast<Color>(0);
  flagged.nothing.SetFloat(0);
  EXPECT_EQ(Describe(ConvertToProperty(registry, flagged)), "{must:s0}");
  flagged = {
      .maybe = "m", .zero = 3, .off = true, .none = {0}, .color = Color::Green, .nothing = {}};
  EXPECT_EQ(Describe(ConvertToProperty(registry, flagged)),
            "{color:e2,maybe:\"m\",must:s0,none:[s0],off:true,zero:s3}");

  input = With("maybe", Text("x"));
  EXPECT_EQ(ConvertFromProperty(registry, input, flagged, "f").Error(),
            "Couldn't assign value to 'f' of type Flagged because the input structure doesn't "
            "have required field 'must'.");
  input.Member("must").SetSigned(4);
  EXPECT_TRUE(ConvertFromProperty(registry, input, flagged, "f").Ok());
  EXPECT_EQ(flagged.must, 4);

  // More fields than are looked up in place: one member under forty names.
  BindingRegistry wide;
  auto fields = RegisterStruct<Unlisted>(wide, "Wide");
  for (int i = 0; i < 40; ++i) fields.Field("f" + std::to_string(i), &Unlisted::value);
  Unlisted read;
  EXPECT_TRUE(ConvertFromProperty(wide, With("f39", Signed(7)), read, "w").Ok());
  EXPECT_EQ(read.value, 7);
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
      return text + ":" + std::to_string(value.text.length) + "\"" + value.text.data + "\"";
    case kHostCollection: {
      text += value.collection.elements == nullptr ? "[null" : "[";
      for (uint32_t i = 0; i < value.collection.count; ++i)
        text += DescribeHost(value.collection.elements[i]) + ",";
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

// `levels` records, each in a vector of its parent: two containers a record.
Tree Grown(int levels) {
  Tree root;
  Tree* at = &root;
  for (int level = 1; level < levels; ++level) at = &at->children.emplace_back();
  return root;
}

// A record whose property member nests `levels` deep in collections or members.
Outer Nested(int levels, bool members = false) {
  Outer root;
  BindingProperty* at = &root.object;
  for (int level = 0; level < levels; ++level) at = members ? &at->Member("m") : &at->Append();
  return root;
}

// Writing straight into a host value gives the tree that the way through a
// property gives, and takes that way where it would omit, merge or fail.
TEST_F(StructConversionTest, EveryConverterWritesWhatThePropertyWouldCross) {
  // What each way makes of `value`: the tree, or "-" (via a property: its error).
  const auto bothWays = [this](const auto& value) {
    std::pair<std::string, std::string> ways{"-", "-"};
    HostValue direct{};
    if (WriteHostValue(registry, value, direct)) {
      ways.first = DescribeHost(direct);
    } else {
      EXPECT_EQ(int32_t{direct.kind}, kHostNone);  // released
    }
    ReleaseHostValue(direct);
    const BindingResult property = ConvertToProperty(registry, value);
    HostValue converted{};
    if (!property.Ok()) {
      ways.second = property.Error();
    } else if (PropertyToHostValue(property, converted, &registry)) {
      ways.second = DescribeHost(converted);
    } else {
      EXPECT_EQ(int32_t{converted.kind}, kHostNone);  // released
    }
    ReleaseHostValue(converted);
    return ways;
  };
  Outer sample = Sample();
  sample.text = std::string("ab\0cd", 5);
  sample.colors = {Color::Green, static_cast<Color>(7)};
  sample.names = {"", "w"};
  sample.object.Member("k").Append().SetBlob(std::vector<uint8_t>{1, 2});
  sample.objects[1].SetEnum({2, &StaticTypeOf<Color>()});

  struct Row {
    const char* name;
    std::pair<std::string, std::string> ways;
    bool direct;
    const char* throughProperty = nullptr;  // when given, what the property way makes
  } rows[] = {
      {"sample", bothWays(sample), true},
      {"empty record", bothWays(Outer{}), true},
      {"vector", bothWays(sample.inners), true},
      {"scalars", bothWays(std::string("x\0y", 3)), true},
      {"enum without a name", bothWays(static_cast<Color>(9)), true},
      {"enum registered late", bothWays(Lately{}), true},
      {"empty property", bothWays(BindingProperty()), true},
      {"512 levels", bothWays(Nested(511)), true},
      {"513 levels", bothWays(Nested(512)), false, "-"},
      {"513 levels of members", bothWays(Nested(512, true)), false, "-"},
      {"512 levels of records", bothWays(Grown(256)), true},
      {"514 levels of records", bothWays(Grown(257)), false},
      {"a vector at level 513", bothWays(Rooted{Grown(256)}), false},
      {"left out when empty", bothWays(Flagged{}), false},
      {"two members of one name", bothWays(Twice{}), false, "10{k=9[2:2,],}"},
      {"no members", bothWays(Bare{}), true},
      {"unregistered", bothWays(Unlisted{}), false},
      {"unregistered elements", bothWays(HoldsUnlisted{{{}}}), false,
       "Couldn't convert native value because it's an unregistered structure."},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.ways.first, row.direct ? row.ways.second : "-") << row.name;
    if (row.throughProperty != nullptr) {
      EXPECT_EQ(row.ways.second, row.throughProperty) << row.name;
    }
  }
  // Out of memory half way, the write releases what it made before throwing.
  Outer large;
  large.names.assign(100, "w");
  HostValue out{};
  {
    testing::FailingLargeAllocations failing(1000);
    EXPECT_THROW(WriteHostValue(registry, large, out), std::bad_alloc);
  }
  EXPECT_EQ(int32_t{out.kind}, kHostNone);
}

}  // namespace
}  // namespace Halden
