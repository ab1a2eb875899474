#include "binding/registry.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "binding/registration.h"
#include "binding/static_type.h"

namespace Halden {
namespace {

struct Sample {
  int32_t a;
};
struct Other {
  int64_t b;
};
enum class Letter { A, B };

TEST(StaticTypeTest, OneRecordPerTypeAndDistinctIds) {
  EXPECT_EQ(&StaticTypeOf<Sample>(), &StaticTypeOf<Sample>());
  EXPECT_NE(std::string(StaticTypeOf<Sample>().name).find("Sample"), std::string::npos);
  const std::set<uint32_t> ids = {StaticTypeOf<void>().id,      StaticTypeOf<int>().id,
                                  StaticTypeOf<const int>().id, StaticTypeOf<int*>().id,
                                  StaticTypeOf<Letter>().id,    StaticTypeOf<Sample>().id};
  EXPECT_EQ(ids.size(), 6u);
  // A missing name shows the id.
  EXPECT_STREQ(StaticType(0x2A, nullptr).name, "#0000002A");
  EXPECT_STREQ(StaticType(0xDEADBEEF, "").name, "#DEADBEEF");
  EXPECT_STREQ(StaticType(1, "Named").name, "Named");
}

TEST(BindingRegistryTest, SecondRegistrationOfANameKeepsTheFirst) {
  BindingRegistry registry;
  BindingTypeBuilder first = registry.RegisterType(8, "Sample", StaticTypeOf<Sample>(), false);
  EXPECT_FALSE(first.Existed());
  first.AddField("a", "", 0, &StaticTypeOf<int32_t>(), {BindingTypeCode::Int32},
                 {BindingTypeCode::String}, 0, nullptr, true);
  // An empty tag is skipped by AddTag, kept by AddTags.
  first.SetDescription("first").AddTag("").AddTag("one").AddTags({"two", ""});

  BindingTypeBuilder second = registry.RegisterType(16, "Sample", StaticTypeOf<Other>(), true);
  EXPECT_TRUE(second.Existed());
  second.AddField("b", "", 0, &StaticTypeOf<int64_t>(), {BindingTypeCode::Int64}, {}, 0, nullptr,
                  false);
  second.AddEnumerator("X", 1, "").SetDescription("second").SetNameSpace("ns").AddTag("t");
  second.AddTags({"ignored"});

  const BindingTypeDescriptor* type = registry.FindTypeByName("Sample");
  ASSERT_EQ(type, first.Descriptor());
  ASSERT_EQ(type->fields.size(), 1u);
  EXPECT_EQ(type->size, 8u);
  EXPECT_EQ(type->fields[0].exposedType.code, BindingTypeCode::String);
  EXPECT_EQ(type->fields[0].optional, 1);
  EXPECT_TRUE(type->enumerators.empty());
  EXPECT_EQ(type->description + type->nameSpace, "first");
  EXPECT_EQ(type->tags, (std::vector<std::string>{"one", "two", ""}));
  EXPECT_EQ(registry.FindType(&StaticTypeOf<Sample>()), type);
  EXPECT_EQ(registry.FindType(&StaticTypeOf<Other>()), nullptr);
  // A type of void's identity is found by name only.
  registry.RegisterType(0, "Nothing", StaticTypeOf<void>(), false);
  EXPECT_NE(registry.FindTypeByName("Nothing"), nullptr);
  EXPECT_EQ(registry.FindType(&StaticTypeOf<void>()), nullptr);
}

TEST(BindingRegistryTest, EnumeratorsByNameAndByValue) {
  BindingRegistry registry;
  BindingTypeBuilder builder = registry.RegisterType(4, "Letter", StaticTypeOf<Letter>(), true);
  builder.AddEnumerator("B", 1, "bee").AddEnumerator("A", 1, "ay");
  const StaticType* letter = &StaticTypeOf<Letter>();
  EXPECT_EQ(*registry.EnumeratorName(letter, 1), "A");  // name order, not insertion order
  builder.AddEnumerator("A", 2, "again");
  EXPECT_EQ(*registry.EnumeratorName(letter, 1), "B");
  EXPECT_EQ(*registry.EnumeratorName(letter, 2), "A");
  EXPECT_EQ(registry.EnumeratorName(letter, 3), nullptr);
  EXPECT_EQ(registry.EnumeratorName(&StaticTypeOf<Sample>(), 1), nullptr);
  const BindingTypeDescriptor* type = registry.FindType(letter);
  EXPECT_EQ(type->enumerators.size(), 2u);
  EXPECT_EQ(type->FindEnumerator("A")->description, "again");
  EXPECT_EQ(type->FindEnumerator("C"), nullptr);
  EXPECT_TRUE(type->HasEnumeratorValue(2));
  EXPECT_FALSE(type->HasEnumeratorValue(0));
}

TEST(BindingRegistryTest, EventsKeepTheirFirstRegistrationUntilUnregistered) {
  BindingRegistry registry;
  const BindingTypeDescriptor* type =
      registry.RegisterType(4, "Sample", StaticTypeOf<Sample>(), false).Descriptor();
  registry.RegisterEvent("OnSample", type).AddTag("").AddTag("e").SetDescription("d");
  BindingEventBuilder again = registry.RegisterEvent("OnSample", nullptr);
  EXPECT_TRUE(again.Existed());
  again.SetDescription("other").SetNameSpace("ns").AddTag("x");
  const BindingEventDescriptor* found = registry.FindEvent("OnSample");
  ASSERT_EQ(found, again.Descriptor());
  EXPECT_EQ(found->type, type);
  EXPECT_EQ(found->description + found->nameSpace, "d");
  EXPECT_EQ(found->tags, std::vector<std::string>{"e"});
  EXPECT_EQ(registry.EventSnapshot().size(), 2u);  // with the builtin OnCallback
  EXPECT_TRUE(registry.UnregisterEvent("OnSample"));
  EXPECT_FALSE(registry.UnregisterEvent("OnSample"));
  EXPECT_EQ(registry.FindEvent("OnSample"), nullptr);
}

TEST(BindingRegistryTest, FunctionsAndDetachedFunctions) {
  BindingRegistry registry;
  BindingFunctionDescriptor* function = registry.RegisterFunction("GetSample", 2);
  ASSERT_EQ(function->arguments.size(), 2u);
  function->SetArgumentType(0, {BindingTypeCode::Int32}, true);
  function->SetArgumentName(0, "id", "the id");
  function->SetArgumentName(3, "late", "", {BindingTypeCode::String});
  ASSERT_EQ(function->arguments.size(), 4u);
  EXPECT_EQ(function->arguments[0].function, function);
  EXPECT_EQ(function->arguments[3].function, function);
  EXPECT_EQ(function->arguments[0].optional, 1);
  EXPECT_EQ(function->arguments[0].type.code, BindingTypeCode::Int32);
  EXPECT_EQ(function->arguments[0].nameHash, Fnv1a("id"));
  EXPECT_EQ(function->arguments[3].exposedType.code, BindingTypeCode::String);
  function->AddTag("");
  function->AddTag("t");
  EXPECT_EQ(function->tags, std::vector<std::string>{"t"});

  EXPECT_EQ(registry.RegisterFunction("GetSample", 5), function);
  EXPECT_EQ(function->arguments.size(), 4u);
  EXPECT_EQ(registry.FindFunction("GetSample"), function);
  const auto detached = registry.CreateDetachedFunction("Cb", 1);
  EXPECT_EQ(detached->arguments.size(), 1u);
  EXPECT_EQ(registry.FindFunction("Cb"), nullptr);
  EXPECT_EQ(registry.FunctionSnapshot(), std::vector<const BindingFunctionDescriptor*>{function});
  EXPECT_EQ(registry.FunctionCount(), 1u);
}

// A secret field makes a function's arguments secret at any depth; a record
// that holds itself is looked at once.
TEST(BindingRegistryTest, TakesSecretSeesSecretFieldsAtAnyDepth) {
  BindingRegistry registry;
  BindingTypeBuilder inner = registry.RegisterType(4, "Inner", StaticTypeOf<Sample>(), false);
  inner.AddField("password", "", 0, &StaticTypeOf<int32_t>(), {BindingTypeCode::Int32}, {},
                 kBindingFieldSecret, nullptr, false);
  BindingTypeBuilder outer = registry.RegisterType(8, "Outer", StaticTypeOf<Other>(), false);
  const auto record = [](const BindingTypeBuilder& type) {
    return BindingTypeRef{BindingTypeCode::Struct, BindingTypeCode::None, type.Descriptor()};
  };
  outer.AddField("self", "", 0, nullptr, record(outer), {}, 0, nullptr, false);
  BindingFunctionDescriptor* function = registry.RegisterFunction("F", 1);
  function->SetArgumentType(0, record(outer), false);
  EXPECT_FALSE(function->TakesSecret());
  outer.AddField("inner", "", 0, nullptr, record(inner), {}, 0, nullptr, false);
  EXPECT_TRUE(function->TakesSecret());
}

// Builtins refer to one another, so each must be registered after the types
// of its fields: a field's record or enumeration is resolved when it is added.
TEST(BuiltinTypesTest, ClearAndInitializeRestoreResolvedBuiltinsOnce) {
  BindingRegistry registry;
  const std::size_t types = registry.TypeSnapshot().size();
  const StaticType* builtin = registry.TypeSnapshot()[0]->staticType;
  for (const BindingTypeDescriptor* type : registry.TypeSnapshot()) {
    EXPECT_EQ(registry.FindType(type->staticType), type) << type->name;
    for (const BindingFieldDescriptor& field : type->fields) {
      const BindingTypeCode code =
          field.type.code == BindingTypeCode::Vector ? field.type.elementCode : field.type.code;
      EXPECT_TRUE(field.converter != nullptr &&
                  (field.type.descriptor != nullptr ||
                   (code != BindingTypeCode::Struct && code != BindingTypeCode::Enum)))
          << type->name << "." << field.name;
    }
  }
  // A builtin name keeps its registration.
  enum class PluginState { Only };
  EXPECT_TRUE(RegisterEnum<PluginState>(registry, "BindingAsyncState").Builder().Existed());
  EXPECT_NE(registry.FindEvent("OnCallback")->type, nullptr);
  registry.RegisterFunction("F", 0);
  registry.Clear();
  EXPECT_FALSE(registry.IsInitialized());
  EXPECT_EQ(registry.FunctionCount(), 0u);
  EXPECT_TRUE(registry.TypeSnapshot().empty() && registry.EventSnapshot().empty());
  EXPECT_EQ(registry.FindType(builtin), nullptr);
  // Clearing an uninitialised registry does nothing.
  registry.RegisterType(4, "Sample", StaticTypeOf<Sample>(), false);
  registry.Clear();
  EXPECT_NE(registry.FindTypeByName("Sample"), nullptr);
  registry.Initialize();
  registry.Initialize();
  EXPECT_TRUE(registry.IsInitialized());
  EXPECT_EQ(registry.TypeSnapshot().size(), types);
  EXPECT_EQ(registry.EventSnapshot().size(), 1u);
}

}  // namespace
}  // namespace Halden
