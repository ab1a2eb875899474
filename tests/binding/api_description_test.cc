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
std::string Tags(const char* const* tags, uint32_t count) {
  std::string text = "[";
  for (uint32_t i = 0; i < count; ++i) text += std::string(i == 0 ? "" : ",") + tags[i];
  return text + "]";
}

// "name code/element/type 'description' optional;" for each argument or field.
template <typename Record>
std::string Typed(const Record* first) {
  std::string text;
  for (const Record* r = first; r != nullptr; r = r->next) {
    text += std::string(r->name) + " " + std::to_string(r->typeCode) + "/" +
            std::to_string(r->elementCode) + "/" + r->typeName + " '" + r->description + "' " +
            std::to_string(r->optional) + "; ";
  }
  return text;
}

const ApiTypeRecord& Named(const ApiTypeRecord* first, const std::string& name) {
  while (first->name != name) first = first->next;
  return *first;
}

TEST(ApiDescriptionTest, DescribesFunctionsTypesAndEvents) {
  BindingRegistry registry;
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
  // The exposed type is described in place of the native int32.
  grow->SetArgumentName(1, "height", "", TypeRefOf<std::vector<Leaf>>(registry));
  grow->AddTag("garden");
  ApiDescriptionStorage storage;
  const ApiDescription description = BuildApiDescription(
      registry.FunctionSnapshot(), registry.TypeSnapshot(), registry.EventSnapshot(), storage);

  const ApiFunctionRecord& function = *description.functions;
  EXPECT_EQ(function.next, nullptr);
  EXPECT_EQ(std::to_string(description.functionCount) + " " + function.name + " " +
                std::to_string(function.reserved) + " " + std::to_string(function.resultTypeCode) +
                "/" + function.resultTypeName + " async " + function.async + " " +
                std::to_string(function.threadSafe) + " '" + function.description + "' " +
                Tags(function.tags, function.tagCount) + " " +
                std::to_string(function.argumentCount) + ": " + Typed(function.arguments),
            "1 Grow 0 17/Tree async Tree 1 'grows' [garden] 2: name 12/0/ 'the name' 0; "
            "height 15/17/Leaf '' 1; ");

  uint32_t types = 0;
  for (const ApiTypeRecord* type = description.types; type != nullptr; type = type->next) ++types;
  EXPECT_EQ(types, registry.TypeSnapshot().size());
  EXPECT_EQ(description.typeCount, types);
  const ApiTypeRecord& tree = Named(description.types, "Tree");
  EXPECT_EQ(tree.size, sizeof(Tree));
  EXPECT_EQ(std::to_string(tree.count) + " " + Tags(tree.tags, tree.tagCount) + " " +
                Typed(tree.fields) + Typed(Named(description.types, "Leaf").fields),
            "4 [a,b] name 12/0/ '' 0; leaf 17/0/Leaf '' 0; leaves 15/17/Leaf '' 0; "
            "shade 16/0/Shade '' 0; count 6/0/ 'how many' 0; ");
  // Enumerators in name order, and no field records.
  const ApiTypeRecord& shade = Named(description.types, "Shade");
  EXPECT_EQ(shade.fields, nullptr);
  std::string enumerators = std::to_string(shade.count);
  for (const ApiEnumeratorRecord* e = shade.enumerators; e != nullptr; e = e->next) {
    enumerators += std::string(" ") + e->name + "=" + std::to_string(e->value);
  }
  EXPECT_EQ(enumerators, "2 Dark=2 Light=1");

  const ApiEventRecord& event = *description.events;
  EXPECT_EQ(event.next, nullptr);
  EXPECT_EQ(std::string(event.name) + " " + event.typeName + " " + Tags(event.tags, event.tagCount),
            "OnCallback BindingCallbackEvent [$builtin]");
}

}  // namespace
}  // namespace Halden
