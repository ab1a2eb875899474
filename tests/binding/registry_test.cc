#include "binding/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "binding/static_type.h"

namespace Halden {
namespace {

struct Sample {
  int32_t a;
};
struct Other {
  int64_t b;
};

TEST(BindingRegistryTest, RegistrationsBuiltinRecordsAndFunctions) {
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
  // An event keeps its first registration too, until it is unregistered.
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

  // The records of the built-in events, which the host's help describes; and
  // functions, attached or detached.
  for (const auto& [name, fields] : std::vector<std::pair<std::string, std::string>>{
           {"BindingGenericEvent", "data"},
           {"BindingCallbackEvent", "id parameters"},
           {"BindingGenericAsyncEvent", "asyncToken data"},
           {"BindingAsyncFailureEvent", "asyncToken error"},
           {"BindingAsyncCancelEvent", "asyncToken"}}) {
    const BindingTypeDescriptor* type = registry.FindTypeByName(name);
    ASSERT_NE(type, nullptr) << name;
    std::string names;
    for (const BindingFieldDescriptor& field : type->fields) names += " " + field.name;
    EXPECT_EQ(names, " " + fields);
  }
  // Cleared, it has none and is no longer initialised, until it is again.
  registry.Clear();
  EXPECT_EQ(std::pair(registry.IsInitialized(), registry.FindTypeByName("BindingGenericEvent")),
            std::pair(false, static_cast<const BindingTypeDescriptor*>(nullptr)));
  registry.Initialize();
  EXPECT_NE(registry.FindTypeByName("BindingGenericEvent"), nullptr);

  BindingFunctionDescriptor* function = registry.RegisterFunction("GetSample", 2);
  EXPECT_EQ(registry.FunctionCount(), 1u);
  ASSERT_EQ(function->arguments.size(), 2u);
  function->SetArgumentType(0, {BindingTypeCode::Int32}, true);
  function->SetArgumentName(0, "id", "the id");
  function->SetArgumentName(3, "late", "", {BindingTypeCode::String});
  ASSERT_EQ(function->arguments.size(), 4u);
  EXPECT_EQ(function->arguments[3].exposedType.code, BindingTypeCode::String);
  EXPECT_EQ(function->arguments[0].function, function);
  EXPECT_EQ(function->arguments[3].function, function);
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
  // Initialising again starts over, with the built-in types only.
  registry.Initialize();
  EXPECT_EQ(registry.FunctionCount(), 0u);
  EXPECT_EQ(registry.FindFunction("GetSample"), nullptr);
  EXPECT_NE(registry.FindTypeByName("BindingGenericEvent"), nullptr);

  // A secret field makes a function's arguments secret at any depth; a
  // record that holds itself is looked at once.
  BindingTypeBuilder inner = registry.RegisterType(4, "Inner", StaticTypeOf<Sample>(), false);
  inner.AddField("password", "", 0, &StaticTypeOf<int32_t>(), {BindingTypeCode::Int32}, {},
                 kBindingFieldSecret, nullptr, false);
  BindingTypeBuilder outer = registry.RegisterType(8, "Outer", StaticTypeOf<Other>(), false);
  const auto record = [](const BindingTypeBuilder& type) {
    return BindingTypeRef{BindingTypeCode::Struct, BindingTypeCode::None, type.Descriptor()};
  };
  outer.AddField("self", "", 0, nullptr, record(outer), {}, 0, nullptr, false);
  BindingFunctionDescriptor* secret = registry.RegisterFunction("F", 1);
  secret->SetArgumentType(0, record(outer), false);
  EXPECT_FALSE(secret->TakesSecret());
  outer.AddField("inner", "", 0, nullptr, record(inner), {}, 0, nullptr, false);
  EXPECT_TRUE(secret->TakesSecret());
}

}  // namespace
}  // namespace Halden
