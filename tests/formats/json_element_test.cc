#include "formats/json_element.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/json_exception.h"

namespace Halden::json {
namespace {

std::string KindOf(const Element& element) {
  std::string kinds;
  if (element.IsObject()) kinds += "object";
  if (element.IsArray()) kinds += "array";
  if (element.IsNumber()) kinds += "number";
  if (element.IsString()) kinds += "string";
  if (element.IsBoolean()) kinds += "boolean";
  if (element.IsNull()) kinds += "null";
  return kinds;
}

// {"a": [1, "x"], "b": true}
Element Sample() {
  Element element;
  Array& array = element.AsObject()["a"].AsArray();
  array.Append(Element()).AsNumber().SetValue(1);
  array.Append(Element()).AsString().SetValue("x");
  element.AsObject()["b"].AsBoolean().SetValue(true);
  return element;
}

TEST(JsonElementTest, TypedAccessMakesTheRequestedKind) {
  Element element;
  EXPECT_EQ(KindOf(element), "null");
  element.AsNumber().SetValue(7);
  EXPECT_EQ(element.AsNumber().Value(), 7);   // same kind: the content stays
  EXPECT_EQ(element.AsString().Value(), "");  // other kind: replaced by the default
  EXPECT_EQ(KindOf(element), "string");
  element.AsString().SetValue("text");
  EXPECT_FALSE(element.AsBoolean().Value());
  EXPECT_EQ(element.AsObject().Size(), 0u);
  EXPECT_EQ(KindOf(element), "object");
  EXPECT_EQ(element.AsArray().Size(), 0u);
  element.AsNull();
  EXPECT_EQ(KindOf(element), "null");
  // Const access leaves the element alone.
  element.AsNumber().SetValue(3);
  const Element& constant = element;
  EXPECT_EQ(constant.AsString().Value(), "");
  EXPECT_EQ(constant.AsObject().Size(), 0u);
  EXPECT_EQ(constant.AsNumber().Value(), 3);
}

TEST(JsonElementTest, CopyIsDeepAndMoveLeavesNull) {
  Element original = Sample();
  Element copy = original;
  EXPECT_EQ(copy, original);
  copy.AsObject()["a"].AsArray().begin()->AsNumber().SetValue(2);
  EXPECT_NE(copy, original);
  EXPECT_EQ(original.AsObject()["a"].AsArray().begin()->AsNumber().Value(), 1);

  // Assigning a part of the tree to the tree itself.
  copy = copy.AsObject()["a"];
  EXPECT_EQ(KindOf(copy), "array");
  EXPECT_EQ(copy.AsArray().Size(), 2u);

  Element moved = std::move(original);
  EXPECT_EQ(moved, Sample());
  EXPECT_EQ(KindOf(original), "null");
}

TEST(JsonElementTest, Equality) {
  auto number = [](double value) {
    Element element;
    element.AsNumber().SetValue(value);
    return element;
  };
  auto text = [](const char* value) {
    Element element;
    element.AsString().SetValue(value);
    return element;
  };
  Element emptyObject;
  emptyObject.AsObject();
  Element emptyArray;
  emptyArray.AsArray();
  Element falseValue;
  falseValue.AsBoolean();
  Element reordered;
  reordered.AsObject()["b"].AsBoolean().SetValue(true);
  reordered.AsObject()["a"] = Sample().AsObject()["a"];
  Element renamed = Sample();
  renamed.AsObject().Insert("c", Element());
  Element longer = Sample();
  longer.AsObject()["a"].AsArray().Append(Element());

  struct Case {
    Element a;
    Element b;
    bool equal;
  };
  const std::vector<Case> cases = {{number(1), number(1), true},   {number(1), number(2), false},
                                   {number(0), falseValue, false}, {text("x"), text("y"), false},
                                   {text(""), Element(), false},   {emptyObject, emptyArray, false},
                                   {Sample(), Sample(), true},     {Sample(), reordered, false},
                                   {Sample(), renamed, false},     {Sample(), longer, false}};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(cases[i].a == cases[i].b, cases[i].equal) << "case " << i;
    EXPECT_EQ(cases[i].b == cases[i].a, cases[i].equal) << "case " << i;
  }
}

TEST(JsonElementTest, ObjectMembers) {
  Element element = Sample();
  Object& object = element.AsObject();
  ASSERT_NE(object.Find("b"), nullptr);
  EXPECT_TRUE(object.Find("b")->AsBoolean().Value());
  EXPECT_EQ(object.Find("B"), nullptr);
  EXPECT_EQ(object.Find(std::string("a\0", 2)), nullptr);

  EXPECT_EQ(KindOf(object["c"]), "null");  // subscript appends a missing member
  EXPECT_EQ(object.Size(), 3u);
  object.Insert("d", Sample());
  try {
    object.Insert("a", Element());
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Object member already exists: a");
  }

  std::vector<std::string> names;
  for (const Object::Member& member : std::as_const(object)) names.push_back(member.name);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(object.Find("d")->AsObject().Size(), 2u);
}

class KindRecorder : public ConstVisitor {
 public:
  void Visit(const Object& object) override {
    seen += "{";
    for (const Object::Member& member : object) member.element.Accept(*this);
    seen += "}";
  }
  void Visit(const Array& array) override {
    seen += "[";
    for (const Element& element : array) element.Accept(*this);
    seen += "]";
  }
  void Visit(const Number& number) override { seen += std::to_string(int(number.Value())); }
  void Visit(const String& string) override { seen += "'" + string.Value() + "'"; }
  void Visit(const Boolean& boolean) override { seen += boolean.Value() ? "T" : "F"; }
  void Visit(const Null&) override { seen += "N"; }

  std::string seen;
};

TEST(JsonElementTest, Visitors) {
  Element element = Sample();
  element.AsObject()["c"];
  KindRecorder recorder;
  element.Accept(recorder);
  EXPECT_EQ(recorder.seen, "{[1'x']TN}");
}

}  // namespace
}  // namespace Halden::json
