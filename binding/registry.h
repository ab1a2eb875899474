// The registry of the native types, functions and events of an API.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "binding/descriptors.h"
#include "binding/static_type.h"
#include "binding/type_code.h"

namespace Halden {

class BindingRegistry;

// Returned by BindingRegistry::RegisterType. When a type of that name was
// registered before, `Existed()` is true and every operation does nothing,
// so the first registration stays unchanged.
class BindingTypeBuilder {
 public:
  BindingTypeBuilder(BindingRegistry* owner, BindingTypeDescriptor* type, bool alreadyRegistered)
      : registry(owner), descriptor(type), existed(alreadyRegistered) {}

  bool Existed() const { return existed; }
  BindingRegistry& Registry() const { return *registry; }
  // The registered descriptor (the earlier one when `Existed()`).
  BindingTypeDescriptor* Descriptor() const { return descriptor; }

  // Appends a member; the builder takes the converter. `exposedType` is kept
  // only when its code is not None. Conversions skip a member without a
  // converter.
  BindingTypeBuilder& AddField(const std::string& name, const std::string& description,
                               uint32_t offset, const StaticType* staticType,
                               const BindingTypeRef& type, const BindingTypeRef& exposedType,
                               uint32_t flags, std::unique_ptr<BindingConverter> converter,
                               bool optional);
  // Inserts the enumerator, or replaces the one of that name.
  BindingTypeBuilder& AddEnumerator(const std::string& name, int32_t value,
                                    const std::string& description);
  BindingTypeBuilder& SetDescription(const std::string& text);
  BindingTypeBuilder& SetNameSpace(const std::string& text);
  // Appends the tag unless it is empty. AddTags appends every text of the
  // list, empty ones included.
  BindingTypeBuilder& AddTag(const std::string& tag);
  BindingTypeBuilder& AddTags(std::initializer_list<const char*> tags);

 private:
  static void OrderMembers(BindingTypeDescriptor& type);

  BindingRegistry* registry;
  BindingTypeDescriptor* descriptor;
  bool existed;
};

// Returned by BindingRegistry::RegisterEvent, with the same `Existed()` rule
// as BindingTypeBuilder.
class BindingEventBuilder {
 public:
  BindingEventBuilder(BindingEventDescriptor* event, bool alreadyRegistered)
      : descriptor(event), existed(alreadyRegistered) {}

  bool Existed() const { return existed; }
  BindingEventDescriptor* Descriptor() const { return descriptor; }

  BindingEventBuilder& SetDescription(const std::string& text);
  BindingEventBuilder& SetNameSpace(const std::string& text);
  // Appends the tag unless it is empty.
  BindingEventBuilder& AddTag(const std::string& tag);

 private:
  BindingEventDescriptor* descriptor;
  bool existed;
};

// What an API consists of: its native structs and enumerations (by name and
// by StaticType), its functions and its events. The registry owns every
// descriptor in it; descriptors live until Clear or the registry's
// destruction.
//
// Registration is idempotent by name: registering a name again keeps the
// first registration. Construction initialises the registry, which
// registers the builtin types and the event OnCallback before anything else.
//
// All tables share one mutex, held only for each table access, so
// registrations, lookups and snapshots may come from any thread.
// Descriptors are filled through builders without the lock during start-up,
// before other threads look them up, and are read without it afterwards.
class BindingRegistry {
 public:
  BindingRegistry();
  ~BindingRegistry();
  BindingRegistry(const BindingRegistry&) = delete;
  BindingRegistry& operator=(const BindingRegistry&) = delete;

  // Clear, then the builtin registrations; sets the initialised flag.
  void Initialize();
  // When initialised: destroys every event, function and type and clears the
  // initialised flag. Otherwise does nothing.
  void Clear();
  bool IsInitialized() const;

  // Registers a struct or enumeration of `size` bytes. A type whose identity
  // is that of `void` is entered by name only.
  BindingTypeBuilder RegisterType(uint32_t size, const std::string& name,
                                  const StaticType& staticType, bool isEnum);
  // Registers an event carrying records of `type`.
  BindingEventBuilder RegisterEvent(const std::string& name, const BindingTypeDescriptor* type);
  // Registers a function with `argumentCount` default arguments and returns
  // its descriptor for the caller to fill; a name registered before returns
  // the existing descriptor unchanged.
  BindingFunctionDescriptor* RegisterFunction(const std::string& name, uint32_t argumentCount);
  // A function descriptor like RegisterFunction's, owned by the caller and
  // not entered in the registry: lookups and snapshots do not see it.
  std::unique_ptr<BindingFunctionDescriptor> CreateDetachedFunction(const std::string& name,
                                                                    uint32_t argumentCount) const;
  // Removes and destroys the event; false when there is none of that name.
  bool UnregisterEvent(const std::string& name);

  // Lookups; null when nothing is registered under the key.
  const BindingTypeDescriptor* FindType(const StaticType* staticType) const;
  const BindingTypeDescriptor* FindTypeByName(const std::string& name) const;
  const BindingFunctionDescriptor* FindFunction(const std::string& name) const;
  const BindingEventDescriptor* FindEvent(const std::string& name) const;

  // The name of the enumerator of `value` in the enumeration `enumType`: the
  // first in name order that carries the value. Null when the type is not
  // registered or no enumerator carries the value.
  const std::string* EnumeratorName(const StaticType* enumType, int32_t value) const;

  // Copies of the tables, taken under the lock, in table order.
  std::vector<const BindingFunctionDescriptor*> FunctionSnapshot() const;
  std::vector<const BindingTypeDescriptor*> TypeSnapshot() const;
  std::vector<const BindingEventDescriptor*> EventSnapshot() const;

  // Functions entered in the registry (detached ones not counted).
  uint32_t FunctionCount() const;

 private:
  // The identifier table hashes the four bytes of an identifier, lowest
  // first, with FNV-1a.
  struct TypeIdHash {
    std::size_t operator()(uint32_t id) const;
  };

  template <typename Table>
  static void PrepareTable(Table& table);

  mutable std::mutex mutex;
  std::unordered_map<std::string, std::unique_ptr<BindingFunctionDescriptor>> functions;
  std::unordered_map<std::string, std::unique_ptr<BindingEventDescriptor>> events;
  std::unordered_map<std::string, std::unique_ptr<BindingTypeDescriptor>> types;
  std::unordered_map<uint32_t, BindingTypeDescriptor*, TypeIdHash> typesById;
  uint32_t functionCount = 0;
  bool initialized = false;
};

}  // namespace Halden
