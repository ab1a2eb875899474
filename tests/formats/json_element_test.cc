#include "formats/json_element.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/json_exception.h"
#include "formats/json_reader.h"

namespace Halden::json {
namespace {

// An element as compact text through the visitor: {..} [..] numbers 'text'
// T/F N.
class Renderer : public ConstVisitor {
 public:
  void Visit(const Object& object) override {
    text += "{";
    for (const Object::Member& member : object) {
      text += member.name + ":";
      member.element.Accept(*this);
    }
    text += "}";
  }
  void Visit(const Array& array) override {
    text += "[";
    for (const Element& element : array) element.Accept(*this);
    text += "]";
  }
  void Visit(const Number& number) override { text += std::to_string(int(number.Value())); }
  void Visit(const String& string) override { text += "'" + string.Value() + "'"; }
  void Visit(const Boolean& boolean) override { text += boolean.Value() ? "T" : "F"; }
  void Visit(const Null&) override { text += "N"; }

  std::string text;
};

std::string Render(const Element& element) {
  Renderer renderer;
  element.Accept(renderer);
  return renderer.text;
}

Element Parse(const char* text) {
  Element element;
  Reader::Read(text, element);
  return element;
}

const char kSample[] = R"({"a": [1, "x"], "b": true})";

TEST(JsonElementTest, TypedAccessMakesTheRequestedKind) {
  Element element;
  EXPECT_TRUE(element.IsNull());
  element.AsNumber().SetValue(7);
  EXPECT_EQ(element.AsNumber().Value(), 7);   // same kind: the content stays
  EXPECT_EQ(element.AsString().Value(), "");  // other kind: replaced by the default
  EXPECT_TRUE(element.IsString() && !element.IsNumber());
  element.AsString().SetValue("text");
  EXPECT_FALSE(element.AsBoolean().Value());
  EXPECT_EQ(element.AsObject().Size(), 0u);
  EXPECT_EQ(element.AsArray().Size(), 0u);
  EXPECT_TRUE(element.IsArray() && !element.IsObject());
  element.AsNull();
  EXPECT_TRUE(element.IsNull());
  // Const access leaves the element alone.
  element.AsNumber().SetValue(3);
  const Element& constant = element;
  EXPECT_EQ(constant.AsString().Value(), "");
  EXPECT_EQ(constant.AsObject().Size(), 0u);
  EXPECT_EQ(constant.AsNumber().Value(), 3);
}

TEST(JsonElementTest, CopyIsDeepAndMoveLeavesNull) {
  Element original = Parse(kSample);
  Element copy = original;
  EXPECT_EQ(copy, original);
  copy.AsObject()["a"].AsArray().begin()->AsNumber().SetValue(2);
  EXPECT_EQ(Render(original), "{a:[1'x']b:T}");
  // Assigning a part of the tree to the tree itself.
  copy = copy.AsObject()["a"];
  EXPECT_EQ(Render(copy), "[2'x']");
  Element moved = std::move(original);
  EXPECT_EQ(Render(moved), "{a:[1'x']b:T}");
  EXPECT_TRUE(original.IsNull());
}

TEST(JsonElementTest, Equality) {
  const Element sample = Parse(kSample);
  Element number;
  number.AsNumber();
  Element boolean;
  boolean.AsBoolean();
  Element text;
  text.AsString();
  Element array;
  array.AsArray();
  struct Case {
    Element a;
    Element b;
    bool equal;
  };
  const std::vector<Case> cases = {{sample, Parse(kSample), true},
                                   {Parse(R"({"a": 1})"), Parse(R"({"a": 2})"), false},
                                   {number, boolean, false},
                                   {text, Element(), false},
                                   {Parse("{}"), array, false},
                                   {sample, Parse(R"({"b": true, "a": [1, "x"]})"), false},
                                   {sample, Parse(R"({"a": [1, "x"], "c": true})"), false},
                                   {sample, Parse(R"({"a": [1, "x", null], "b": true})"), false}};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(cases[i].a == cases[i].b, cases[i].equal) << "case " << i;
    EXPECT_EQ(cases[i].b == cases[i].a, cases[i].equal) << "case " << i;
  }
}

TEST(JsonElementTest, ObjectMembers) {
  Element element = Parse(kSample);
  Object& object = element.AsObject();
  EXPECT_TRUE(object.Find("b")->AsBoolean().Value());
  EXPECT_EQ(object.Find("B"), nullptr);
  EXPECT_EQ(object.Find(std::string("a\0", 2)), nullptr);
  object["c"];  // subscript appends a missing member
  object.Insert("d", Parse(R"({"e": "f"})"));
  try {
    object.Insert("a", Element());
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Object member already exists: a");
  }
  EXPECT_EQ(Render(element), "{a:[1'x']b:Tc:Nd:{e:'f'}}");
}

}  // namespace
}  // namespace Halden::json
