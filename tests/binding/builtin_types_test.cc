#include "binding/builtin_types.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "binding/registration.h"
#include "binding/registry.h"

namespace Halden {
namespace {

const std::vector<std::string> kBuiltinTypes = {
    "BindingAsyncCancelEvent",  "BindingAsyncFailureEvent", "BindingAsyncState",
    "BindingCallbackEvent",     "BindingFullApiHelp",       "BindingFullArgumentHelp",
    "BindingFullEnumValueHelp", "BindingFullEventHelp",     "BindingFullFieldHelp",
    "BindingFullFunctionHelp",  "BindingFullTypeHelp",      "BindingFullTypeIdentifier",
    "BindingGenericAsyncEvent", "BindingGenericEvent",      "BindingHelpFormat"};

std::vector<std::string> TypeNames(const BindingRegistry& registry) {
  std::vector<std::string> names;
  for (const BindingTypeDescriptor* type : registry.TypeSnapshot()) names.push_back(type->name);
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> EventNames(const BindingRegistry& registry) {
  std::vector<std::string> names;
  for (const BindingEventDescriptor* event : registry.EventSnapshot()) names.push_back(event->name);
  return names;
}

// "name:code/elementCode/descriptor name" per field.
std::vector<std::string> Fields(const BindingTypeDescriptor& type) {
  std::vector<std::string> fields;
  for (const BindingFieldDescriptor& field : type.fields) {
    std::string text = field.name + ":" + TypeCodeName(field.type.code);
    if (field.type.elementCode != BindingTypeCode::None) {
      text += std::string("/") + TypeCodeName(field.type.elementCode);
    }
    if (field.type.descriptor != nullptr) text += "/" + field.type.descriptor->name;
    fields.push_back(text);
  }
  return fields;
}

TEST(BuiltinTypesTest, FreshRegistryHoldsExactlyTheBuiltins) {
  BindingRegistry registry;
  EXPECT_EQ(TypeNames(registry), kBuiltinTypes);
  EXPECT_EQ(EventNames(registry), std::vector<std::string>{"OnCallback"});
  EXPECT_TRUE(registry.FunctionSnapshot().empty());
  for (const BindingTypeDescriptor* type : registry.TypeSnapshot()) {
    EXPECT_EQ(registry.FindType(type->staticType), type) << type->name;
    EXPECT_EQ(type->tags.front(), "$builtin") << type->name;
    EXPECT_EQ(type->nameSpace, "") << type->name;
    for (const BindingFieldDescriptor& field : type->fields) {
      EXPECT_EQ(field.flags, 0u) << field.name;
      EXPECT_EQ(field.optional, 0) << field.name;
      EXPECT_NE(field.converter, nullptr) << field.name;
    }
  }
}

TEST(BuiltinTypesTest, RecordsAndEnumerations) {
  BindingRegistry registry;
  const BindingTypeDescriptor* function = registry.FindTypeByName("BindingFullFunctionHelp");
  ASSERT_NE(function, nullptr);
  EXPECT_EQ(function->description, "Describes a function.");
  EXPECT_EQ(function->tags, (std::vector<std::string>{"$builtin", "help"}));
  EXPECT_EQ(function->size, sizeof(BindingFullFunctionHelp));
  EXPECT_EQ(
      Fields(*function),
      (std::vector<std::string>{
          "name:string", "nameSpace:string", "arguments:vector/struct/BindingFullArgumentHelp",
          "returns:struct/BindingFullTypeIdentifier", "description:string", "help:string",
          "threadSafe:bool", "async:string", "tags:vector/string"}));
  EXPECT_EQ(Fields(*registry.FindTypeByName("BindingFullTypeHelp")),
            (std::vector<std::string>{"name:string", "nameSpace:string", "size:uint32",
                                      "description:string", "tags:vector/string",
                                      "fields:vector/struct/BindingFullFieldHelp",
                                      "values:vector/struct/BindingFullEnumValueHelp"}));
  EXPECT_EQ(Fields(*registry.FindTypeByName("BindingFullEnumValueHelp")),
            (std::vector<std::string>{"name:string", "description:string", "value:int32"}));

  const BindingTypeDescriptor* callback = registry.FindTypeByName("BindingCallbackEvent");
  EXPECT_EQ(Fields(*callback), (std::vector<std::string>{"id:uint32", "parameters:vector/object"}));
  EXPECT_EQ(callback->fields[0].description, "ID of the callback being invoked");
  EXPECT_EQ(callback->fields[1].description, "Callback parameters");
  EXPECT_EQ(callback->fields[1].offset, offsetof(BindingCallbackEvent, parameters));
  EXPECT_EQ(Fields(*registry.FindTypeByName("BindingGenericAsyncEvent")),
            (std::vector<std::string>{"asyncToken:uint32", "data:object"}));
  EXPECT_EQ(registry.FindTypeByName("BindingAsyncFailureEvent")->tags,
            (std::vector<std::string>{"$builtin", "async"}));

  const BindingTypeDescriptor* state = registry.FindTypeByName("BindingAsyncState");
  EXPECT_EQ(state->isEnum, 1);
  EXPECT_EQ(state->description, "Possible states of an asynchronous operation.");
  ASSERT_EQ(state->enumerators.size(), 6u);
  EXPECT_EQ(state->FindEnumerator("Cancelling")->value, 2);
  EXPECT_EQ(state->FindEnumerator("Cancelling")->description,
            "A request to cancel the operation has been made");
  EXPECT_EQ(*registry.EnumeratorName(&StaticTypeOf<BindingHelpFormat>(), 2), "Epytext");

  const BindingEventDescriptor* event = registry.FindEvent("OnCallback");
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->type, callback);
  EXPECT_EQ(event->description, "Fired when a callback is invoked.");
  EXPECT_EQ(event->tags, std::vector<std::string>{"$builtin"});
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
  EXPECT_EQ(builtin->enumerators.size(), 6u);
  EXPECT_EQ(builtin->FindEnumerator("Only"), nullptr);
  EXPECT_TRUE(registry.RegisterEvent("OnCallback", nullptr).Existed());
  EXPECT_NE(registry.FindEvent("OnCallback")->type, nullptr);
}

TEST(BuiltinTypesTest, ClearAndInitializeRestoreTheBuiltinsOnce) {
  BindingRegistry registry;
  registry.Clear();
  EXPECT_TRUE(TypeNames(registry).empty());
  EXPECT_TRUE(EventNames(registry).empty());
  registry.Initialize();
  EXPECT_EQ(TypeNames(registry), kBuiltinTypes);
  registry.Initialize();
  EXPECT_EQ(TypeNames(registry), kBuiltinTypes);
  EXPECT_EQ(EventNames(registry), std::vector<std::string>{"OnCallback"});
}

}  // namespace
}  // namespace Halden
