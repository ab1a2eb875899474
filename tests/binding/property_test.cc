#include "binding/property.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tests/binding/recording_visitor.h"

namespace Halden {
namespace {

using ::testing::ElementsAre;
using Kind = BindingPropertyKind;
using binding_test::RecordingVisitor;

static_assert(sizeof(BindingProperty) == (sizeof(void*) == 8 ? 24 : 16));

// A compact text of a whole tree, for comparing trees.
std::string Dump(const BindingProperty& p) {
  switch (p.GetKind()) {
    case Kind::Collection: {
      std::string text = "[";
      for (uint32_t i = 0; i < p.Size(); ++i) text += (i ? "," : "") + Dump(p.Element(i));
      return text + "]";
    }
    case Kind::Structure: {
      std::string text = "{";
      for (auto [key, value] : p.Members())
        text += (text.size() > 1 ? "," : "") + key + ":" + Dump(value);
      return text + "}";
    }
    default:
      return std::string(KindName(p.GetKind())) + "(" + p.ToText() + ")";
  }
}

const InternedString* EntryOf(const BindingProperty& p) {
  RecordingVisitor recorder;
  p.Accept(recorder);
  return recorder.strings.empty() ? nullptr : recorder.strings[0];
}

uint64_t PagesTaken() { return ArenaPageSource::Instance().GetCounters().pagesTaken; }

TEST(BindingPropertyTest, NewPropertyIsEmptyWithoutArena) {
  BindingProperty p;
  EXPECT_EQ(p.GetKind(), Kind::Empty);
  EXPECT_EQ(p.Size(), 0u);
  EXPECT_TRUE(p.IsEmpty());
  EXPECT_EQ(p.Arena(), nullptr);
  p.SetSigned(5).SetFloat(2).SetBool(true);
  p.SetString("");
  EXPECT_EQ(p.Arena(), nullptr);
  p.SetString("x");
  EXPECT_NE(p.Arena(), nullptr);

  BindingProperty q;
  q.MakeCollection();
  EXPECT_NE(q.Arena(), nullptr);
}

TEST(BindingPropertyTest, KindNames) {
  const char* const names[] = {"empty",  "bool", "signed", "unsigned",   "float",
                               "string", "blob", "enum",   "collection", "structure"};
  for (int code = 0; code < 10; ++code) {
    EXPECT_STREQ(KindName(static_cast<Kind>(code)), names[code]);
  }
  EXPECT_STREQ(KindName(static_cast<Kind>(10)), "");
  EXPECT_STREQ(KindName(static_cast<Kind>(255)), "");
}

TEST(BindingPropertyTest, StrictGettersNeverConvert) {
  static const StaticType& type = StaticTypeOf<Kind>();
  BindingProperty p;
  p.SetUnsigned(5);
  EXPECT_EQ(p.GetSigned(-1), -1);
  EXPECT_EQ(p.GetUnsigned(7), 5u);
  EXPECT_EQ(p.GetFloat(0.5), 0.5);
  EXPECT_EQ(p.GetBool(true), true);
  const std::string fallback = "fallback";
  EXPECT_EQ(&p.GetString(fallback), &fallback);
  EXPECT_EQ(&p.GetBlob(), &kEmptyBlob);
  EXPECT_EQ(&p.GetEnum(), &kEmptyEnumValue);

  EXPECT_EQ(p.SetSigned(-3).GetSigned(), -3);
  EXPECT_EQ(p.GetUnsigned(9), 9u);
  EXPECT_EQ(p.SetBool(true).GetBool(), true);
  EXPECT_EQ(p.GetSigned(4), 4);
  EXPECT_EQ(p.SetFloat(2.25).GetFloat(), 2.25);
  EXPECT_EQ(p.SetString("text").GetString(), "text");
  EXPECT_EQ(p.GetFloat(1.0), 1.0);
  EXPECT_EQ(p.SetBlob(std::vector<uint8_t>{1, 2}).GetBlob(), (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(&p.GetString(), &kEmptyString);
  p.SetEnum({3, &type});
  EXPECT_EQ(p.GetEnum().value, 3);
  EXPECT_EQ(p.GetEnum().type, &type);
}

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(BindingPropertyTest, SizeAndTextByKind) {
  const auto check = [](const BindingProperty& p, uint32_t size, const std::string& text) {
    EXPECT_EQ(p.Size(), size) << text;
    EXPECT_EQ(p.ToText(), text);
  };
  BindingProperty p;
  check(p, 0, "");
  check(p.SetBool(true), 1, "true");
  check(p.SetBool(false), 1, "false");
  check(p.SetSigned(-42), 1, "-42");
  check(p.SetSigned(INT64_MIN), 1, "-9223372036854775808");
  check(p.SetUnsigned(UINT64_MAX), 1, "18446744073709551615");
  check(p.SetFloat(1.5), 1, "1.500000");
  check(p.SetString("h\xC3\xA9"), 3, "h\xC3\xA9");
  check(p.SetBlob(Bytes("")), 0, "");
  check(p.SetBlob(Bytes("f")), 1, "Zg==");
  check(p.SetBlob(Bytes("fo")), 2, "Zm8=");
  check(p.SetBlob(Bytes("foo")), 3, "Zm9v");
  check(p.SetBlob(Bytes("foob")), 4, "Zm9vYg==");
  check(p.SetBlob(Bytes("\xFB\xFF")), 2, "+/8=");
  check(p.SetEnum({3, nullptr}), 1, "3");
  check(p.SetEnum({-7, nullptr}), 1, "-7");
  check(p.At(6), 0, "");
  check(p, 7, "");
  p.Member("a");
  check(p.Member("b").SetSigned(1), 1, "1");
  check(p, 2, "");
}

TEST(BindingPropertyTest, FloatTextIsPrintfFixed) {
  const double values[] = {0.0,
                           -0.0,
                           1.5,
                           -0.25,
                           1e-7,
                           0.1234565,
                           1e20,
                           -1.7976931348623157e308,
                           std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN()};
  for (double value : values) {
    char expected[400];
    std::snprintf(expected, sizeof expected, "%f", value);
    BindingProperty p;
    EXPECT_EQ(p.SetFloat(value).ToText(), expected);
  }
}

TEST(BindingPropertyTest, AtFillsWithEmptyElements) {
  BindingProperty p;
  BindingProperty& last = p.At(3);
  EXPECT_EQ(p.GetKind(), Kind::Collection);
  EXPECT_EQ(p.Size(), 4u);
  EXPECT_EQ(&last, &p.Element(3));
  for (uint32_t i = 0; i < 4; ++i) EXPECT_TRUE(p.Element(i).IsEmpty());
  EXPECT_EQ(&p.Element(4), &BindingProperty::Empty());

  p.At(1).SetSigned(1);
  p.Append().SetSigned(4);
  p.MakeCollection();
  EXPECT_EQ(Dump(p), "[empty(),signed(1),empty(),empty(),signed(4)]");
  p.MakeStructure();
  EXPECT_EQ(Dump(p), "{}");
}

TEST(BindingPropertyTest, MembersInByteOrder) {
  BindingProperty p;
  p.Member("b").SetSigned(2);
  p.Member("a").SetSigned(1);
  p.Member("\xC3\xA9").SetSigned(4);
  p.Member("\x7F").SetSigned(3);
  p.Member(std::string("a")).SetSigned(5);
  std::vector<std::string> keys;
  for (auto [key, value] : p.Members()) keys.push_back(key);
  EXPECT_THAT(keys, ElementsAre("a", "b", "\x7F", "\xC3\xA9"));
  EXPECT_EQ(p.Find("a").GetSigned(), 5);
  EXPECT_EQ(p.Find(std::string("\xC3\xA9")).GetSigned(), 4);
  EXPECT_EQ(&p.Find("c"), &BindingProperty::Empty());
  // A std::string key counts up to its first NUL.
  EXPECT_EQ(p.Find(std::string("b\0x", 3)).GetSigned(), 2);
  EXPECT_EQ(&p.Member(std::string("b\0x", 3)), &p.Find("b"));
}

TEST(BindingPropertyTest, WrongKindLookupsReturnSharedEmpty) {
  BindingProperty collection;
  collection.Append().SetSigned(1);
  EXPECT_EQ(&collection.Find("a"), &BindingProperty::Empty());
  EXPECT_EQ(collection.Members().begin(), collection.Members().end());
  BindingProperty structure;
  structure.Member("a").SetSigned(1);
  EXPECT_EQ(&structure.Element(0), &BindingProperty::Empty());
  EXPECT_EQ(Dump(collection), "[signed(1)]");
  EXPECT_EQ(Dump(structure), "{a:signed(1)}");
  BindingProperty scalar;
  scalar.SetSigned(1);
  EXPECT_EQ(scalar.Members().begin(), scalar.Members().end());
}

TEST(BindingPropertyTest, EmptyAndNullTextsShareStaticEntry) {
  BindingProperty a;
  BindingProperty b;
  a.SetString("");
  b.SetString(static_cast<const char*>(nullptr));
  for (const BindingProperty* p : {&a, &b}) {
    EXPECT_EQ(p->GetKind(), Kind::String);
    EXPECT_EQ(p->Size(), 0u);
    EXPECT_EQ(EntryOf(*p), InternedString::Empty());
  }
}

TEST(BindingPropertyTest, SetStringForms) {
  BindingProperty p;
  EXPECT_EQ(p.SetString(std::string("a\0b", 3)).Size(), 3u);
  const std::string copied("a\0b", 3);
  EXPECT_EQ(p.SetString(copied).GetString(), "a");
  EXPECT_EQ(p.SetString("a\0b").GetString(), "a");
  std::string moved("x\0y", 3);
  EXPECT_EQ(p.SetString(std::move(moved)).GetString(), std::string("x\0y", 3));
  EXPECT_EQ(p.Size(), 3u);
}

TEST(BindingPropertyTest, MembersShareInternedText) {
  BindingProperty root;
  root.Member("a").SetString("shared");
  root.Member("b").SetString(std::string("shared"));
  const PropertyArena* arena = root.Arena();
  const InternedString* entry = EntryOf(root.Find("a"));
  EXPECT_EQ(entry, EntryOf(root.Find("b")));
  EXPECT_EQ(entry->RefCount(), 2u);
  EXPECT_EQ(arena->StringCount(), 3u);  // "a", "b", "shared"

  root.Member("a").Reset();
  EXPECT_EQ(entry->RefCount(), 1u);
  EXPECT_EQ(root.Find("b").GetString(), "shared");
  root.Member("b").Reset();
  EXPECT_EQ(arena->StringCount(), 2u);
}

TEST(BindingPropertyTest, ReplacingAValueWithItsOwnPartsIsSafe) {
  BindingProperty p;
  p.SetString(std::string("only reference to this text"));
  p.SetString(p.GetString());
  EXPECT_EQ(p.GetString(), "only reference to this text");
  p.SetBlob(std::vector<uint8_t>{1, 2, 3});
  p.SetBlob(p.GetBlob());
  EXPECT_EQ(p.GetBlob(), (std::vector<uint8_t>{1, 2, 3}));
  p.Member("k").SetString("inner text");
  p.SetString(p.Find("k").GetString());
  EXPECT_EQ(p.GetString(), "inner text");
  // A key taken from the value that becoming a Structure releases.
  p.SetString(std::string("a key longer than any inline string"));
  p.Member(p.GetString()).SetSigned(1);
  EXPECT_EQ(p.Find("a key longer than any inline string").GetSigned(), 1);
  p.At(0).SetString(std::string("an element's text used as the key"));
  p.Member(p.Element(0).GetString()).SetSigned(2);
  EXPECT_EQ(p.Find("an element's text used as the key").GetSigned(), 2);
}

TEST(BindingPropertyTest, SetBlobByMoveEmptiesSource) {
  std::vector<uint8_t> bytes(100, 7);
  BindingProperty p;
  p.SetBlob(std::move(bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(p.Size(), 100u);
}

BindingProperty SampleStructure() {
  BindingProperty p;
  p.Member("name").SetString("example");
  p.Member("tags").At(1).SetString("name");
  p.Member("blob").SetBlob(std::vector<uint8_t>{1, 2});
  p.Member("kind").SetEnum({2, nullptr});
  p.Member("nested").Member("x").SetFloat(0.5);
  p.Member("nul").SetString(std::string("a\0b", 3));
  return p;
}

TEST(BindingPropertyTest, CopyBetweenTrees) {
  const BindingProperty source = SampleStructure();
  const std::string text = Dump(source);
  BindingProperty target;
  target.SetSigned(1);
  target = source;
  EXPECT_EQ(Dump(target), text);
  EXPECT_EQ(Dump(source), text);
  EXPECT_NE(target.Arena(), source.Arena());
  // A text with an embedded NUL keeps all its bytes in the copy.
  EXPECT_EQ(target.Find("nul").GetString(), std::string("a\0b", 3));

  BindingProperty child;
  child.Member("c") = source;
  EXPECT_EQ(Dump(child.Find("c")), text);
  BindingProperty constructed(source);
  EXPECT_EQ(Dump(constructed), text);
  // Within one tree, copied texts share their entries.
  child.Member("d") = child.Find("c");
  EXPECT_EQ(EntryOf(child.Find("d").Find("name")), EntryOf(child.Find("c").Find("name")));

  const BindingProperty& self = target;
  target = self;
  EXPECT_EQ(Dump(target), text);
}

TEST(BindingPropertyTest, CopyFromAncestorOrDescendant) {
  BindingProperty p;
  p.Member("a").Member("b").SetSigned(1);
  p = p.Find("a");
  EXPECT_EQ(Dump(p), "{b:signed(1)}");
  p.Member("c") = p;
  // The member exists (empty) by the time the copy is taken.
  EXPECT_EQ(Dump(p), "{b:signed(1),c:{b:signed(1),c:empty()}}");
  BindingProperty q;
  q.At(0);
  q.At(0) = q;
  EXPECT_EQ(Dump(q), "[[empty()]]");
}

TEST(BindingPropertyTest, MoveBetweenRootsExchangesArenas) {
  BindingProperty a;
  a.SetString("old value of a");
  BindingProperty b;
  b.Member("k").SetString("value of b");
  const PropertyArena* arenaA = a.Arena();
  const PropertyArena* arenaB = b.Arena();
  a = std::move(b);
  EXPECT_EQ(a.Arena(), arenaB);
  EXPECT_EQ(b.Arena(), arenaA);
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(arenaA->StringCount(), 0u);  // a's former value was released into it
  EXPECT_EQ(Dump(a), "{k:string(value of b)}");

  BindingProperty c(std::move(a));
  EXPECT_EQ(c.Arena(), arenaB);
  EXPECT_EQ(a.Arena(), nullptr);
  EXPECT_TRUE(a.IsEmpty());
}

TEST(BindingPropertyTest, MoveFromChildCopies) {
  BindingProperty root;
  root.Member("x").Member("y").SetString("text");
  BindingProperty target;
  target = std::move(root.Member("x"));
  EXPECT_EQ(Dump(target), "{y:string(text)}");
  EXPECT_NE(target.Arena(), root.Arena());
  EXPECT_EQ(Dump(root), "{x:empty()}");

  root.Member("x").SetSigned(2);
  BindingProperty constructed(std::move(root.Member("x")));
  EXPECT_EQ(constructed.GetSigned(), 2);
  EXPECT_EQ(Dump(root), "{x:empty()}");

  // Into a child of another tree, and out of a descendant of the target.
  BindingProperty other;
  other.Member("o") = std::move(target);
  EXPECT_EQ(Dump(other), "{o:{y:string(text)}}");
  EXPECT_TRUE(target.IsEmpty());
  other = std::move(other.Member("o"));
  EXPECT_EQ(Dump(other), "{y:string(text)}");
}

TEST(BindingPropertyTest, ReserveAndLengthLimit) {
  BindingProperty p;
  p.MakeCollection().Reserve(100);
  const BindingProperty* first = &p.Append();
  for (int i = 1; i < 100; ++i) p.Append().SetSigned(i);
  EXPECT_EQ(first, &p.Element(0));  // no reallocation within the reserved room
  EXPECT_EQ(&p.Element(99) - &p.Element(0), 99);

  try {
    p.Reserve(BindingProperty::kMaxCollectionSize + 1);
    FAIL() << "no length error";
  } catch (const std::length_error& e) {
    EXPECT_STREQ(e.what(), "vector<T> too long");
  }
  EXPECT_THROW(p.At(BindingProperty::kMaxCollectionSize), std::length_error);
  EXPECT_EQ(p.Size(), 100u);

  BindingProperty s;
  s.MakeStructure().Reserve(BindingProperty::kMaxCollectionSize + 1);
  EXPECT_EQ(s.GetKind(), Kind::Structure);
}

TEST(BindingPropertyTest, WalkOrder) {
  BindingProperty p;
  p.Member("b").SetSigned(1);
  p.Member("a").Append().SetBool(true);
  RecordingVisitor recorder;
  EXPECT_TRUE(p.Accept(recorder));
  EXPECT_THAT(
      recorder.events,
      ElementsAre("BeginStructure(2)", "BeginMember(a)", "BeginCollection(1)", "BeginElement(0)",
                  "VisitBool(true)", "EndElement(0)", "EndCollection()", "EndMember(a)",
                  "BeginMember(b)", "VisitSigned(1)", "EndMember(b)", "EndStructure()"));
}

TEST(BindingPropertyTest, VisitorStopsTheWalk) {
  const BindingProperty p = SampleStructure();
  RecordingVisitor all;
  ASSERT_TRUE(p.Accept(all));
  for (std::size_t n = 0; n < all.events.size(); ++n) {
    RecordingVisitor stopping(n);
    EXPECT_FALSE(p.Accept(stopping));
    EXPECT_EQ(stopping.events.size(), n + 1);
  }
}

TEST(BindingPropertyTest, SmallTreesTakeNoPage) {
  // Each tree below fits the built-in blocks of its arena on every target.
  const uint64_t taken = PagesTaken();
  {
    BindingProperty scalars;
    scalars.MakeCollection().Reserve(1000);
    for (int i = 0; i < 1000; ++i) scalars.Append().SetSigned(i);
    BindingProperty record;
    record.Member("name").SetString("example item");
    BindingProperty texts;
    texts.Append().SetString("alpha");
    texts.Append().SetString("beta");
    texts.Append().SetString("alpha");
    BindingProperty values;
    values.Append().SetBlob(std::vector<uint8_t>{1, 2, 3});
    values.Append().SetEnum({1, nullptr});
    values.Append().SetFloat(0.75);
  }
  EXPECT_EQ(PagesTaken(), taken);
}

}  // namespace
}  // namespace Halden
