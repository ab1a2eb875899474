#include "binding/internal/builtin_types.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "binding/registration.h"
#include "binding/registry.h"

namespace Halden {
namespace {

// Every text the builtins hand to the host: names, descriptions, tags, field
// types and enumerators, in name order.
std::string Texts(const BindingRegistry& registry) {
  std::vector<const BindingTypeDescriptor*> types = registry.TypeSnapshot();
  std::sort(types.begin(), types.end(), [](auto* a, auto* b) { return a->name < b->name; });
  std::string text;
  const auto tags = [&text](const std::vector<std::string>& list) {
    for (const std::string& tag : list) text += "#" + tag;
  };
  for (const BindingTypeDescriptor* type : types) {
    text += "\n" + type->name + (type->isEnum ? " enum: " : ": ") + type->description;
    tags(type->tags);
    for (const BindingFieldDescriptor& field : type->fields) {
      text += "\n " + field.name + " " + TypeCodeName(field.type.code) + "/" +
              TypeCodeName(field.type.elementCode) + "/" +
              (field.type.descriptor != nullptr ? field.type.descriptor->name : "") + ": " +
              field.description;
    }
    for (const auto& [name, value] : type->enumerators) {
      text += "\n " + value.name + "=" + std::to_string(value.value) + ": " + value.description;
    }
  }
  for (const BindingEventDescriptor* event : registry.EventSnapshot()) {
    text += "\n" + event->name + " of " + event->type->name + ": " + event->description;
    tags(event->tags);
  }
  return text;
}

TEST(BuiltinTypesTest, FreshRegistryHoldsTheBuiltinsWithTheirTexts) {
  BindingRegistry registry;
  EXPECT_EQ(registry.TypeSnapshot().size(), 15u);
  EXPECT_TRUE(registry.FunctionSnapshot().empty());
  for (const BindingTypeDescriptor* type : registry.TypeSnapshot()) {
    EXPECT_EQ(registry.FindType(type->staticType), type) << type->name;
    for (const BindingFieldDescriptor& field : type->fields) {
      EXPECT_NE(field.converter, nullptr) << field.name;
    }
  }
  // A fingerprint of every text: one letter changed in any of them changes
  // it. Update it when a builtin changes on purpose.
  const std::string texts = Texts(registry);
  EXPECT_EQ(Fnv1a(texts.c_str()), 0xFC4E8C17u) << texts;
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
  const std::string texts = Texts(registry);
  registry.Clear();
  EXPECT_EQ(Texts(registry), "");
  registry.Initialize();
  registry.Initialize();
  EXPECT_EQ(Texts(registry), texts);
}

}  // namespace
}  // namespace Halden
