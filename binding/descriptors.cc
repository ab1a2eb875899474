#include "binding/descriptors.h"

#include <set>

#include "binding/fnv1a.h"

namespace Halden {
namespace {

// Records may hold each other, so each is looked at once.
bool HoldsSecret(const BindingTypeDescriptor* type, std::set<const BindingTypeDescriptor*>& seen) {
  if (type == nullptr || !seen.insert(type).second) return false;
  for (const BindingFieldDescriptor& field : type->fields) {
    if ((field.flags & kBindingFieldSecret) != 0 || HoldsSecret(field.type.descriptor, seen)) {
      return true;
    }
  }
  return false;
}

}  // namespace

const BindingEnumeratorDescriptor* BindingTypeDescriptor::FindEnumerator(
    std::string_view enumeratorName) const {
  // Most enumerations have a few names, which a walk finds sooner than the
  // tree: names of another length are passed over without a comparison.
  constexpr std::size_t kWalked = 8;
  if (enumerators.size() <= kWalked) {
    for (const auto& [name, enumerator] : enumerators) {
      if (name == enumeratorName) return &enumerator;
    }
    return nullptr;
  }
  const auto it = enumerators.find(enumeratorName);
  return it != enumerators.end() ? &it->second : nullptr;
}

bool BindingTypeDescriptor::HasEnumeratorValue(int32_t value) const {
  for (const auto& [enumeratorName, enumerator] : enumerators) {
    if (enumerator.value == value) return true;
  }
  return false;
}

bool BindingFunctionDescriptor::TakesSecret() const {
  std::set<const BindingTypeDescriptor*> seen;
  for (const BindingArgumentDescriptor& argument : arguments) {
    if (HoldsSecret(argument.type.descriptor, seen)) return true;
  }
  return false;
}

BindingArgumentDescriptor& BindingFunctionDescriptor::Argument(std::size_t index) {
  const std::size_t oldSize = arguments.size();
  if (index >= oldSize) {
    arguments.resize(index + 1);
    for (std::size_t i = oldSize; i <= index; ++i) arguments[i].function = this;
  }
  return arguments[index];
}

void BindingFunctionDescriptor::SetArgumentType(std::size_t index, const BindingTypeRef& type,
                                                bool optional) {
  BindingArgumentDescriptor& argument = Argument(index);
  argument.type = type;
  argument.optional = optional ? 1 : 0;
}

void BindingFunctionDescriptor::SetArgumentName(std::size_t index, const std::string& argumentName,
                                                const std::string& argumentDescription,
                                                const BindingTypeRef& exposedType) {
  BindingArgumentDescriptor& argument = Argument(index);
  argument.name = argumentName;
  argument.nameHash = Fnv1a(argumentName.c_str());
  argument.description = argumentDescription;
  if (exposedType.code != BindingTypeCode::None) argument.exposedType = exposedType;
}

void BindingFunctionDescriptor::AddTag(const std::string& tag) {
  if (!tag.empty()) tags.push_back(tag);
}

}  // namespace Halden
