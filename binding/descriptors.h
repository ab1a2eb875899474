// What the registry records about native types, functions and events.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "binding/converter.h"
#include "binding/invoker.h"
#include "binding/static_type.h"
#include "binding/type_code.h"

namespace Halden {

class BindingRegistry;
struct BindingTypeDescriptor;
struct BindingFunctionDescriptor;

// Field flags.
// A member whose value is zero or empty is left out when the struct converts
// to a property.
inline constexpr uint32_t kBindingFieldOmitIfEmpty = 1;
// A member missing or Empty in the input is an error when the struct
// converts from a property.
inline constexpr uint32_t kBindingFieldRequired = 2;
// A member that must never be quoted in a message (a password): text read
// for a parameter of a type holding it is withheld from the readers'
// failure messages.
inline constexpr uint32_t kBindingFieldSecret = 4;

// One member of a registered struct. `offset` is the member's byte offset in
// the native record; `converter` converts the member's native type. When
// `exposedType` has a non-zero code, the host API description reports it in
// place of `type`.
struct BindingFieldDescriptor {
  std::string name;
  uint32_t nameHash = 0;
  std::string description;
  const StaticType* staticType = nullptr;
  uint32_t offset = 0;
  BindingTypeRef type;
  BindingTypeRef exposedType;
  uint32_t flags = 0;
  std::unique_ptr<BindingConverter> converter;
  const BindingTypeDescriptor* owner = nullptr;
  uint8_t optional = 0;
};

// One enumerator of a registered enumeration. Two names may carry the same
// value.
struct BindingEnumeratorDescriptor {
  std::string name;
  int32_t value = 0;
  std::string description;
  const BindingTypeDescriptor* owner = nullptr;
};

// A registered struct or enumeration, owned by its registry. A struct has
// `fields` in registration order; an enumeration has `enumerators` in name
// order.
struct BindingTypeDescriptor {
  uint32_t size = 0;
  uint8_t isEnum = 0;
  std::string name;
  uint32_t typeId = 0;
  const StaticType* staticType = nullptr;
  std::string nameSpace;
  std::string description;
  std::vector<std::string> tags;
  std::vector<BindingFieldDescriptor> fields;
  std::map<std::string, BindingEnumeratorDescriptor, std::less<>> enumerators;
  const BindingRegistry* registry = nullptr;
  // The fields in the order of their names as member keys (the order of a
  // structure's members), and whether the members of a property made of the
  // struct are its fields one for one: no field left out when empty, no two
  // of one name, every field with a converter.
  std::vector<uint32_t> keyOrder;
  bool writesHostDirectly = true;

  // The enumerator of that name, or null.
  const BindingEnumeratorDescriptor* FindEnumerator(std::string_view enumeratorName) const;
  // Whether some enumerator carries `value`.
  bool HasEnumeratorValue(int32_t value) const;
};

// One parameter of a registered function. When `exposedType` has a non-zero
// code, the host API description reports it in place of `type`.
struct BindingArgumentDescriptor {
  std::string name;
  uint32_t nameHash = 0;
  std::string description;
  uint8_t optional = 0;
  BindingTypeRef type;
  BindingTypeRef exposedType;
  const BindingFunctionDescriptor* function = nullptr;
};

// A function the API exposes. An asynchronous function completes later; its
// `returns` then names the record its completion event carries. When
// `exposedReturns` has a non-zero code, the host API description reports it
// in place of `returns`.
//
// The registering code fills the descriptor during start-up, before any
// other thread can look it up; afterwards it is not changed.
struct BindingFunctionDescriptor {
  std::string name;
  std::vector<BindingArgumentDescriptor> arguments;
  BindingTypeRef returns;
  BindingTypeRef exposedReturns;
  std::vector<std::string> tags;
  std::string nameSpace;
  std::string description;
  std::string help;
  uint8_t threadSafe = 0;
  uint8_t async = 0;
  std::unique_ptr<BindingInvoker> invoker;
  const BindingRegistry* registry = nullptr;

  // The argument at `index`, the list growing to include it; its back
  // pointer is set.
  BindingArgumentDescriptor& Argument(std::size_t index);
  // Sets the type and optional flag of the argument at `index`.
  void SetArgumentType(std::size_t index, const BindingTypeRef& type, bool optional);
  // Sets the name (and its hash), description and exposed type of the
  // argument at `index`; the exposed type is kept only when its code is not
  // None.
  void SetArgumentName(std::size_t index, const std::string& argumentName,
                       const std::string& argumentDescription,
                       const BindingTypeRef& exposedType = {});
  // Appends a tag unless `tag` is empty.
  void AddTag(const std::string& tag);
  // Whether an argument's record holds a kBindingFieldSecret member, in
  // itself or in a record it holds.
  bool TakesSecret() const;
};

// An event the API sends, with the record it carries.
struct BindingEventDescriptor {
  std::string name;
  const BindingTypeDescriptor* type = nullptr;
  std::string nameSpace;
  std::string description;
  std::vector<std::string> tags;
};

}  // namespace Halden
