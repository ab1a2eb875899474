#include "binding/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "binding/internal/builtin_types.h"
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

template <typename T>
bool Contains(const std::vector<const T*>& snapshot, const std::string& name) {
  return std::any_of(snapshot.begin(), snapshot.end(),
                     [&](const T* descriptor) { return descriptor->name == name; });
}

TEST(StaticTypeTest, OneRecordPerTypeAndDistinctIds) {
  EXPECT_EQ(&StaticTypeOf<Sample>(), &StaticTypeOf<Sample>());
  EXPECT_NE(std::string(StaticTypeOf<Sample>().name).find("Sample"), std::string::npos);
  const uint32_t ids[] = {StaticTypeOf<void>().id,      StaticTypeOf<int>().id,
                          StaticTypeOf<const int>().id, StaticTypeOf<int*>().id,
                          StaticTypeOf<Letter>().id,    StaticTypeOf<Sample>().id};
  for (std::size_t i = 0; i < std::size(ids); ++i) {
    for (std::size_t j = i + 1; j < std::size(ids); ++j) EXPECT_NE(ids[i], ids[j]) << i << " " << j;
  }
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
  first.SetDescription("first");

  BindingTypeBuilder second = registry.RegisterType(16, "Sample", StaticTypeOf<Other>(), true);
  EXPECT_TRUE(second.Existed());
  EXPECT_EQ(second.Descriptor(), first.Descriptor());
  second.AddField("b", "", 0, &StaticTypeOf<int64_t>(), {BindingTypeCode::Int64}, {}, 0, nullptr,
                  false);
  second.AddEnumerator("X", 1, "").SetDescription("second").SetNameSpace("ns").AddTag("t");

  const BindingTypeDescriptor* type = registry.FindTypeByName("Sample");
  ASSERT_NE(type, nullptr);
  EXPECT_EQ(type->size, 8u);
  ASSERT_EQ(type->fields.size(), 1u);
  EXPECT_EQ(type->fields[0].name, "a");
  EXPECT_EQ(type->fields[0].exposedType.code, BindingTypeCode::String);
  EXPECT_EQ(type->fields[0].optional, 1);
  EXPECT_TRUE(type->enumerators.empty());
  EXPECT_EQ(type->description, "first");
  EXPECT_TRUE(type->tags.empty());
  EXPECT_EQ(registry.FindType(&StaticTypeOf<Sample>()), type);
  EXPECT_EQ(registry.FindType(&StaticTypeOf<Other>()), nullptr);
}

TEST(BindingRegistryTest, EnumeratorsByNameAndByValue) {
  BindingRegistry registry;
  BindingTypeBuilder builder = registry.RegisterType(4, "Letter", StaticTypeOf<Letter>(), true);
  builder.AddEnumerator("B", 1, "bee").AddEnumerator("A", 1, "ay");
  const StaticType* letter = &StaticTypeOf<Letter>();
  ASSERT_NE(registry.EnumeratorName(letter, 1), nullptr);
  EXPECT_EQ(*registry.EnumeratorName(letter, 1), "A");  // name order, not insertion order

  builder.AddEnumerator("A", 2, "again");
  EXPECT_EQ(*registry.EnumeratorName(letter, 1), "B");
  EXPECT_EQ(*registry.EnumeratorName(letter, 2), "A");
  EXPECT_EQ(registry.EnumeratorName(letter, 3), nullptr);
  EXPECT_EQ(registry.EnumeratorName(&StaticTypeOf<Sample>(), 1), nullptr);

  const BindingTypeDescriptor* type = registry.FindType(letter);
  ASSERT_EQ(type->enumerators.size(), 2u);
  EXPECT_EQ(type->FindEnumerator("A")->description, "again");
  EXPECT_EQ(type->FindEnumerator("C"), nullptr);
  EXPECT_TRUE(type->HasEnumeratorValue(2));
  EXPECT_FALSE(type->HasEnumeratorValue(0));
}

TEST(BindingRegistryTest, TagSkipsAnEmptyTextAndTagsAppendAll) {
  BindingRegistry registry;
  BindingTypeBuilder builder = registry.RegisterType(4, "Sample", StaticTypeOf<Sample>(), false);
  builder.AddTag("").AddTag("one").AddTags({"two", "", "three"});
  EXPECT_EQ(builder.Descriptor()->tags, (std::vector<std::string>{"one", "two", "", "three"}));
  registry.RegisterType(8, "Sample", StaticTypeOf<Sample>(), false).AddTags({"ignored"});
  EXPECT_EQ(builder.Descriptor()->tags.size(), 4u);

  BindingEventBuilder event = registry.RegisterEvent("OnSample", builder.Descriptor());
  event.AddTag("").AddTag("e").SetDescription("d");
  EXPECT_EQ(event.Descriptor()->tags, std::vector<std::string>{"e"});
  BindingEventBuilder again = registry.RegisterEvent("OnSample", nullptr);
  EXPECT_TRUE(again.Existed());
  again.SetDescription("other").AddTag("x");
  const BindingEventDescriptor* found = registry.FindEvent("OnSample");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->type, builder.Descriptor());
  EXPECT_EQ(found->description, "d");
  EXPECT_EQ(found->tags, std::vector<std::string>{"e"});
}

TEST(BindingRegistryTest, VoidIdentityIsFoundByNameOnly) {
  BindingRegistry registry;
  registry.RegisterType(0, "Nothing", StaticTypeOf<void>(), false);
  EXPECT_NE(registry.FindTypeByName("Nothing"), nullptr);
  EXPECT_EQ(registry.FindType(&StaticTypeOf<void>()), nullptr);
}

TEST(BindingRegistryTest, FunctionsAndDetachedFunctions) {
  BindingRegistry registry;
  const uint32_t before = registry.FunctionCount();
  BindingFunctionDescriptor* function = registry.RegisterFunction("GetSample", 2);
  ASSERT_EQ(function->arguments.size(), 2u);
  EXPECT_EQ(function->arguments[0].function, function);
  function->SetArgumentType(0, {BindingTypeCode::Int32}, true);
  function->SetArgumentName(0, "id", "the id");
  function->SetArgumentName(3, "late", "", {BindingTypeCode::String});
  ASSERT_EQ(function->arguments.size(), 4u);
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
  EXPECT_EQ(registry.FunctionCount(), before + 1);

  std::unique_ptr<BindingFunctionDescriptor> detached = registry.CreateDetachedFunction("Cb", 1);
  EXPECT_EQ(detached->arguments.size(), 1u);
  EXPECT_EQ(registry.FindFunction("Cb"), nullptr);
  EXPECT_FALSE(Contains(registry.FunctionSnapshot(), "Cb"));
  EXPECT_TRUE(Contains(registry.FunctionSnapshot(), "GetSample"));
  EXPECT_EQ(registry.FunctionCount(), before + 1);
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

TEST(BindingRegistryTest, UnregisterEventAndClear) {
  BindingRegistry registry;
  registry.RegisterType(4, "Sample", StaticTypeOf<Sample>(), false);
  registry.RegisterEvent("OnSample", registry.FindTypeByName("Sample"));
  registry.RegisterFunction("F", 0);
  EXPECT_TRUE(Contains(registry.EventSnapshot(), "OnSample"));
  EXPECT_TRUE(registry.UnregisterEvent("OnSample"));
  EXPECT_FALSE(registry.UnregisterEvent("OnSample"));
  EXPECT_EQ(registry.FindEvent("OnSample"), nullptr);

  EXPECT_TRUE(registry.IsInitialized());
  registry.Clear();
  EXPECT_FALSE(registry.IsInitialized());
  EXPECT_EQ(registry.FunctionCount(), 0u);
  EXPECT_TRUE(registry.TypeSnapshot().empty());
  EXPECT_EQ(registry.FindType(&StaticTypeOf<Sample>()), nullptr);

  // Clearing an uninitialised registry does nothing.
  registry.RegisterType(4, "Sample", StaticTypeOf<Sample>(), false);
  registry.Clear();
  EXPECT_NE(registry.FindTypeByName("Sample"), nullptr);
  registry.Initialize();
  EXPECT_TRUE(registry.IsInitialized());
}

// The builtins' names, each with its count of fields or enumerators, and the
// events' names, sorted.
std::vector<std::string> Names(const BindingRegistry& registry) {
  std::vector<std::string> names;
  for (const BindingTypeDescriptor* type : registry.TypeSnapshot()) {
    names.push_back(type->name + " " + std::to_string(type->fields.size()) + " " +
                    std::to_string(type->enumerators.size()));
  }
  for (const BindingEventDescriptor* event : registry.EventSnapshot()) {
    names.push_back(event->name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Builtins refer to one another, so each must be registered after the types
// of its fields: a field's record or enumeration is resolved when it is added.
TEST(BuiltinTypesTest, FreshRegistryHoldsResolvedBuiltins) {
  BindingRegistry registry;
  EXPECT_TRUE(registry.FunctionSnapshot().empty());
  for (const BindingTypeDescriptor* type : registry.TypeSnapshot()) {
    EXPECT_EQ(registry.FindType(type->staticType), type) << type->name;
    for (const BindingFieldDescriptor& field : type->fields) {
      EXPECT_NE(field.converter, nullptr) << field.name;
      const BindingTypeCode code =
          field.type.code == BindingTypeCode::Vector ? field.type.elementCode : field.type.code;
      if (code == BindingTypeCode::Struct || code == BindingTypeCode::Enum) {
        EXPECT_NE(field.type.descriptor, nullptr) << type->name << "." << field.name;
      }
    }
  }
}

TEST(BuiltinTypesTest, BuiltinNamesKeepTheirRegistration) {
  enum class PluginState { Only };
  BindingRegistry registry;
  const BindingTypeDescriptor* builtin = registry.FindTypeByName("BindingAsyncState");
  EXPECT_TRUE(RegisterEnum<PluginState>(registry, "BindingAsyncState")
                  .Value("Only", PluginState::Only)
                  .Builder()
                  .Existed());
  EXPECT_EQ(registry.FindTypeByName("BindingAsyncState"), builtin);
  EXPECT_EQ(builtin->FindEnumerator("Only"), nullptr);
  EXPECT_TRUE(registry.RegisterEvent("OnCallback", nullptr).Existed());
  EXPECT_NE(registry.FindEvent("OnCallback")->type, nullptr);
}

TEST(BuiltinTypesTest, ClearAndInitializeRestoreTheBuiltinsOnce) {
  BindingRegistry registry;
  const std::vector<std::string> names = Names(registry);
  registry.Clear();
  EXPECT_TRUE(Names(registry).empty());
  registry.Initialize();
  registry.Initialize();
  EXPECT_EQ(Names(registry), names);
}

}  // namespace
}  // namespace Halden
