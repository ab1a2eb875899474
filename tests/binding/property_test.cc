#include "binding/property.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "binding/fnv1a.h"
#include "binding/property_visitor.h"
#include "tests/binding/conversion_test_support.h"
#include "tests/support/allocation_probe.h"
#include "tests/support/small_stack.h"

namespace Halden {
namespace {

using binding_test::Describe;
using ::testing::ElementsAre;

// Records a walk's events as "Name(argument)" and the entries of its strings;
// stops after event `stopAt`. With `keep` false it only counts the events,
// folds them into `digest` and counts Begin less End events in `open`.
class RecordingVisitor : public BindingPropertyVisitor {
 public:
  explicit RecordingVisitor(std::size_t stop = SIZE_MAX, bool keep = true)
      : stopAt(stop), keep(keep) {}

  bool VisitEmpty() override { return Add("VisitEmpty", ""); }
  bool VisitBool(bool v) override { return Add("VisitBool", v ? "true" : "false"); }
  bool VisitSigned(int64_t v) override { return Add("VisitSigned", std::to_string(v)); }
  bool VisitUnsigned(uint64_t v) override { return Add("VisitUnsigned", std::to_string(v)); }
  bool VisitFloat(double v) override { return Add("VisitFloat", std::to_string(v)); }
  bool VisitString(const InternedString& v) override {
    if (keep) strings.push_back(&v);
    return Add("VisitString", v.Text());
  }
  bool VisitBlob(const std::vector<uint8_t>& v) override {
    return Add("VisitBlob", std::to_string(v.size()));
  }
  bool VisitEnum(const EnumValue& v) override { return Add("VisitEnum", std::to_string(v.value)); }
  bool BeginCollection(uint32_t n) override { return Add("BeginCollection", std::to_string(n)); }
  bool BeginElement(uint32_t i) override { return Add("BeginElement", std::to_string(i)); }
  bool EndElement(uint32_t i) override { return Add("EndElement", std::to_string(i)); }
  bool EndCollection() override { return Add("EndCollection", ""); }
  bool BeginStructure(uint32_t n) override { return Add("BeginStructure", std::to_string(n)); }
  bool BeginMember(const std::string& key) override { return Add("BeginMember", key); }
  bool EndMember(const std::string& key) override { return Add("EndMember", key); }
  bool EndStructure() override { return Add("EndStructure", ""); }

  std::vector<std::string> events;
  std::vector<const InternedString*> strings;
  std::size_t count = 0;
  uint64_t digest = 0;
  int64_t open = 0;

 private:
  bool Add(const char* name, const std::string& argument) {
    std::string event = std::string(name) + "(" + argument + ")";
    digest = digest * 1099511628211u + std::hash<std::string>()(event);
    open += name[0] == 'B' ? 1 : name[0] == 'E' ? -1 : 0;
    if (keep) events.push_back(std::move(event));
    return ++count <= stopAt;
  }
  std::size_t stopAt;
  bool keep;
};

const InternedString* EntryOf(const BindingProperty& p) {
  RecordingVisitor recorder;
  p.Accept(recorder);
  return recorder.strings.empty() ? nullptr : recorder.strings[0];
}

TEST(BindingPropertyTest, EqualTextsShareOneEntryUntilTheLastReferenceGoes) {
  BindingProperty root;
  root.Member("a").SetString("shared");
  root.Member("b").SetString(std::string("shared"));
  root.Member("c").Member("a").SetString("other");
  const PropertyArena* arena = root.Arena();
  const InternedString* entry = EntryOf(root.Find("a"));
  EXPECT_EQ(entry, EntryOf(root.Find("b")));
  EXPECT_EQ(entry->RefCount(), 2u);
  EXPECT_EQ(arena->StringCount(), 5u);  // "a", "b", "c", "shared", "other"
  // A replaced text drops its entry, set or copied over; a null key is the
  // empty one.
  root.Member("c").Member("a").SetString("again");
  EXPECT_EQ(arena->StringCount(), 5u);
  root.Member("c").Member("a") = root.Find("a");
  EXPECT_EQ(arena->StringCount(), 4u);
  EXPECT_EQ(&root.Member(nullptr), &root.Member(""));
  root.Member("a").MakeCollection();
  EXPECT_EQ(root.Find("b").GetString(), "shared");
  root.Member("b").SetBool(true);
  const std::vector<uint8_t> blob{1};
  root.Member("c").Member("a").SetBlob(blob);
  EXPECT_EQ(arena->StringCount(), 3u);
  // A dropped entry's text goes with it, whichever setter replaces it; so
  // does a discarded root's blob (one arena is kept before counting).
  const std::string longText(64, 'x');
  BindingProperty().SetString(longText);
  const std::size_t live = testing::AllocationLiveBytes();
  root.Member("b").SetString(longText).SetBool(false).SetString(longText).SetUnsigned(1);
  root.Member("b").SetString(longText).SetSigned(1).SetString(longText).SetFloat(1);
  BindingProperty().SetBlob(std::vector<uint8_t>(64));
  EXPECT_EQ(testing::AllocationLiveBytes(), live);
  // Releasing a structure drops the references of its keys.
  root.Reset();
  EXPECT_EQ(arena->StringCount(), 0u);
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
  p.SetString(std::string("a key that a view of the text gives"));
  p.Member(std::string_view(p.GetString())).SetSigned(3);
  EXPECT_EQ(p.Find("a key that a view of the text gives").GetSigned(), 3);
  // Past the end, or of what is no collection, an element is empty.
  BindingProperty list;
  list.Append().SetSigned(1);
  EXPECT_TRUE(list.Element(1).IsEmpty());
  EXPECT_TRUE(BindingProperty().Element(0).IsEmpty());
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

TEST(BindingPropertyTest, CopyBetweenTreesAndWithinOne) {
  const BindingProperty source = SampleStructure();
  const std::string text = Describe(source);
  BindingProperty target;
  target.SetSigned(1);
  target = source;
  EXPECT_EQ(Describe(target), text);
  // Moved into itself, a root keeps its value; moved from another root, it
  // leaves that one empty.
  BindingProperty& same = target;
  target = std::move(same);
  EXPECT_EQ(Describe(target), text);
  BindingProperty left = SampleStructure();
  target = std::move(left);
  EXPECT_TRUE(left.IsEmpty());
  EXPECT_EQ(Describe(target), text);
  EXPECT_NE(target.Arena(), source.Arena());
  BindingProperty child;
  child.Member("c") = source;
  EXPECT_EQ(Describe(child.Find("c")), text);
  // Within one tree, copied texts share their entries.
  child.Member("d") = child.Find("c");
  EXPECT_EQ(EntryOf(child.Find("d").Find("name")), EntryOf(child.Find("c").Find("name")));
  // From an ancestor or a descendant.
  BindingProperty p;
  p.Member("a").Member("b").SetSigned(1);
  p = p.Find("a");
  p.Member("c") = p;
  EXPECT_EQ(Describe(p), "{b:s1,c:{b:s1,c:~}}");
  BindingProperty q;
  q.At(0) = q;
  EXPECT_EQ(Describe(q), "[[~]]");
  // A member moved out of its tree takes its value along.
  const BindingProperty moved(std::move(p.Member("c")));
  EXPECT_EQ(Describe(moved), "{b:s1,c:~}");
  // Moved into another tree, a member leaves no text behind but its key.
  BindingProperty from;
  from.Member("y").SetString("moving");
  target.Member("y") = std::move(from.Member("y"));
  EXPECT_EQ(std::pair(target.Find("y").GetString(), from.Arena()->StringCount()),
            std::pair(std::string("moving"), std::size_t{1}));
  // A member named with its hash makes a structure of an empty property.
  BindingProperty hashed;
  hashed.Member("k", Fnv1a("k")).SetSigned(2);
  EXPECT_EQ(Describe(hashed), "{k:s2}");
  // The empty key is the one entry that is not counted.
  hashed.Member("", Fnv1a("")).SetSigned(3);
  EXPECT_EQ(hashed.Arena()->StringCount(), 1u);
  EXPECT_EQ(hashed.Find("k").Size(), 1u);  // a scalar counts one
  // A scalar copied needs no arena.
  BindingProperty number;
  number = hashed.Find("k");
  EXPECT_EQ(number.GetSigned(), 2);
  EXPECT_EQ(number.Arena(), nullptr);
}

TEST(BindingPropertyTest, EachKindAsTextAndWalks) {
  const std::pair<BindingProperty, std::string> cases[] = {
      {BindingProperty(), ""},
      {BindingProperty().SetBool(false), "false"},
      {BindingProperty().SetSigned(-2), "-2"},
      {BindingProperty().SetUnsigned(18446744073709551615u), "18446744073709551615"},
      {BindingProperty().SetFloat(0.5), "0.500000"},
      {BindingProperty().SetFloat(-1e20), "-100000000000000000000.000000"},
      {BindingProperty().SetEnum({7, nullptr}), "7"},
      {BindingProperty().SetString("s"), "s"},
      {BindingProperty().SetBlob(std::vector<uint8_t>{1, 2}), "AQI="},
      {BindingProperty().MakeCollection(), ""},
      {SampleStructure(), ""},
  };
  for (const auto& [property, text] : cases) EXPECT_EQ(property.ToText(), text);
  // A walk goes in key order and stops at the first event refused.
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
  const BindingProperty sample = SampleStructure();
  RecordingVisitor all;
  ASSERT_TRUE(sample.Accept(all));
  for (std::size_t n = 0; n < all.events.size(); ++n) {
    RecordingVisitor stopping(n);
    EXPECT_FALSE(sample.Accept(stopping));
    EXPECT_EQ(stopping.events.size(), n + 1);
  }
}

// Copying, walking and releasing a tree deeper than any reader accepts takes
// no stack in proportion to its depth.
TEST(BindingPropertyTest, DeepTreesNeedNoDeepStack) {
  constexpr int kLevels = 100000;
  RecordingVisitor original(SIZE_MAX, false), copied(SIZE_MAX, false), assigned(SIZE_MAX, false);
  ASSERT_TRUE(testing::RunOnSmallStack(
      [&] {
        BindingProperty root;
        BindingProperty* node = &root;
        for (int level = 0; level < kLevels; ++level) {
          if (level % 3 == 0) node->Member("s").SetString("text");
          node = level % 2 == 0 ? &node->Member("m") : &node->Append();
        }
        node->SetBlob(std::vector<uint8_t>{1, 2, 3});
        const BindingProperty copy(root);
        BindingProperty other;
        other.Member("x") = root;
        root.Accept(original);
        copy.Accept(copied);
        other.Find("x").Accept(assigned);
        // Out of a child: a copy, then the release of the deep original.
        BindingProperty moved(std::move(root.Member("m")));
        root.Reset();
      },
      std::size_t{256} << 10));
  EXPECT_EQ(original.open, 0);
  EXPECT_GT(original.count, 4u * kLevels);
  EXPECT_EQ(copied.digest, original.digest);
  EXPECT_EQ(assigned.digest, original.digest);
}

// Without memory for its walk's frames, a release falls back on the machine
// stack and frees every level; an index past the limit is refused first.
TEST(BindingPropertyTest, ReleaseWithoutMemoryForFramesFreesEverything) {
  BindingProperty root;
  root.MakeCollection();
  const std::size_t live = testing::AllocationLiveBytes();
  BindingProperty* node = &root;
  for (int level = 0; level < 40; ++level) node = &node->Append();
  node->SetBlob(std::vector<uint8_t>{1, 2, 3});
  {
    testing::FailingLargeAllocations noFrames(1);
    root.Reset();
  }
  EXPECT_EQ(testing::AllocationLiveBytes(), live);
  BindingProperty text;
  text.SetString("t");
  PropertyArena::ReleaseKeptMemory();
  testing::FailingLargeAllocations noLargeBlocks(1000);
  EXPECT_THROW(root.At(BindingProperty::kMaxCollectionSize), std::length_error);
  // A copy that cannot have an arena of its own throws.
  EXPECT_THROW(BindingProperty{text}, std::bad_alloc);
}

}  // namespace
}  // namespace Halden
