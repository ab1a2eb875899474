#include "binding/internal/builtin_types.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "binding/registration.h"
#include "binding/registry.h"

namespace Halden {
namespace {

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
