#include "binding/api_description.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binding/registration.h"

namespace Halden {
namespace {

enum class Shade : int32_t { Light = 1, Dark = 2 };

struct Leaf {
  int32_t count = 0;
};

struct Tree {
  std::string name;
  Leaf leaf;
  std::vector<Leaf> leaves;
  Shade shade = Shade::Light;
};

// The records are packed: fields are read by value, never bound to a reference.
template <typename T>
T Value(T field) {
  return field;
}

template <typename Record>
std::vector<std::string> Names(const Record* first) {
  std::vector<std::string> names;
  for (const Record* record = first; record != nullptr; record = record->next) {
    names.push_back(record->name);
  }
  return names;
}

template <typename Record>
const Record* Named(const Record* first, const std::string& name) {
  for (const Record* record = first; record != nullptr; record = record->next) {
    if (record->name == name) return record;
  }
  return nullptr;
}

class ApiDescriptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry.Initialize();
    RegisterEnum<Shade>(registry, "Shade").Value("Light", Shade::Light).Value("Dark", Shade::Dark);
    RegisterStruct<Leaf>(registry, "Leaf").Field("count", &Leaf::count, "how many");
    RegisterStruct<Tree>(registry, "Tree")
        .Field("name", &Tree::name)
        .Field("leaf", &Tree::leaf)
        .Field("leaves", &Tree::leaves)
        .Field("shade", &Tree::shade)
        .Tags({"a", "b"});
    BindingFunctionDescriptor* grow = registry.RegisterFunction("Grow", 2);
    grow->returns = TypeRefOf<Tree>(registry);
    grow->async = 1;
    grow->threadSafe = 1;
    grow->description = "grows";
    grow->SetArgumentType(0, TypeRefOf<std::string>(registry), false);
    grow->SetArgumentName(0, "name", "the name");
    grow->SetArgumentType(1, TypeRefOf<int32_t>(registry), true);
    grow->SetArgumentName(1, "height", "", TypeRefOf<std::vector<Leaf>>(registry));
    grow->AddTag("garden");
  }

  ApiDescription Build() {
    return BuildApiDescription(registry.FunctionSnapshot(), registry.TypeSnapshot(),
                               registry.EventSnapshot(), storage);
  }

  BindingRegistry registry;
  ApiDescriptionStorage storage;
};

TEST_F(ApiDescriptionTest, RecordsAreLinkedAndCounted) {
  ApiDescription description = Build();
  EXPECT_EQ(Value(description.functionCount), 1u);
  EXPECT_EQ(Names(description.functions), std::vector<std::string>{"Grow"});
  EXPECT_EQ(Value(description.typeCount), registry.TypeSnapshot().size());
  EXPECT_EQ(Names(description.types).size(), Value(description.typeCount));
  EXPECT_EQ(Names(description.events), std::vector<std::string>{"OnCallback"});
  EXPECT_STREQ(description.events->typeName, "BindingCallbackEvent");
  ASSERT_EQ(Value(description.events->tagCount), 1u);
  EXPECT_STREQ(description.events->tags[0], "$builtin");
}

TEST_F(ApiDescriptionTest, FunctionsArgumentsAndExposedTypes) {
  const ApiFunctionRecord& grow = *Build().functions;
  EXPECT_EQ(Value(grow.reserved), 0u);
  EXPECT_EQ(Value(grow.resultTypeCode), 17u);
  EXPECT_STREQ(grow.resultTypeName, "Tree");
  EXPECT_STREQ(grow.async, "Tree");
  EXPECT_EQ(Value(grow.threadSafe), 1);
  EXPECT_STREQ(grow.description, "grows");
  ASSERT_EQ(Value(grow.tagCount), 1u);
  EXPECT_STREQ(grow.tags[0], "garden");
  ASSERT_EQ(Value(grow.argumentCount), 2u);
  EXPECT_EQ(Names(grow.arguments), (std::vector<std::string>{"name", "height"}));
  const ApiArgumentRecord& name = grow.arguments[0];
  EXPECT_EQ(Value(name.typeCode), 12u);
  EXPECT_STREQ(name.description, "the name");
  EXPECT_EQ(Value(name.optional), 0);
  // The exposed type is described in place of the native int32.
  const ApiArgumentRecord& height = grow.arguments[1];
  EXPECT_EQ(Value(height.typeCode), 15u);
  EXPECT_EQ(Value(height.elementCode), 17u);
  EXPECT_STREQ(height.typeName, "Leaf");
  EXPECT_EQ(Value(height.optional), 1);
}

TEST_F(ApiDescriptionTest, TypesWithFieldsOrEnumerators) {
  ApiDescription description = Build();
  const ApiTypeRecord* tree = Named(description.types, "Tree");
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(Value(tree->size), sizeof(Tree));
  ASSERT_EQ(Value(tree->count), 4u);
  ASSERT_EQ(Value(tree->tagCount), 2u);
  EXPECT_STREQ(tree->tags[1], "b");
  EXPECT_EQ(Names(tree->fields), (std::vector<std::string>{"name", "leaf", "leaves", "shade"}));
  struct Expected {
    uint32_t code, element;
    const char* typeName;
  } expected[] = {{12, 0, ""}, {17, 0, "Leaf"}, {15, 17, "Leaf"}, {16, 0, "Shade"}};
  for (uint32_t i = 0; i < 4; ++i) {
    const ApiFieldRecord& field = tree->fields[i];
    EXPECT_EQ(Value(field.typeCode), expected[i].code) << field.name;
    EXPECT_EQ(Value(field.elementCode), expected[i].element) << field.name;
    EXPECT_STREQ(field.typeName, expected[i].typeName) << field.name;
  }
  const ApiTypeRecord* leaf = Named(description.types, "Leaf");
  EXPECT_STREQ(leaf->fields->description, "how many");

  // Enumerators in name order, and no field records.
  const ApiTypeRecord* shade = Named(description.types, "Shade");
  EXPECT_EQ(Value(shade->count), 2u);
  EXPECT_EQ(Names(shade->enumerators), (std::vector<std::string>{"Dark", "Light"}));
  EXPECT_EQ(Value(shade->enumerators->value), 2);
}

}  // namespace
}  // namespace Halden
