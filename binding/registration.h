// Typed registration of native structs, enumerations and events: one short
// statement per record, naming each member once.
//
//   RegisterStruct<EmailSession>(registry, "QorEmailVerificationEmailVerificationSession")
//       .Field("email", &EmailSession::email)
//       .Field("emailVerified", &EmailSession::emailVerified);
//   RegisterEnum<Color>(registry, "Color").Value("Red", Color::Red, "warm");
//   RegisterEvent<ColorEvent>(registry, "OnColor").SetDescription("...");
//
// The templates work out each member's offset, StaticType, type reference
// and converter and hand them to BindingTypeBuilder::AddField. A member
// whose type is a struct, an enumeration or a vector of one must be
// registered before it (its descriptor is looked up by StaticType); until
// then conversions of the member report an unregistered type.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <type_traits>

#include "binding/converters.h"
#include "binding/registry.h"
#include "binding/static_type.h"

namespace Halden {

// The byte offset of `member` in T, measured on a default-constructed T.
template <typename T, typename M>
uint32_t MemberOffset(M T::*member) {
  const T probe{};
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&(probe.*member)) -
                               reinterpret_cast<uintptr_t>(&probe));
}

// Registration of a struct T; see RegisterStruct.
template <typename T>
class StructRegistration {
  static_assert(std::is_class_v<T> && std::is_standard_layout_v<T>,
                "registered structs are standard-layout records");
  static_assert(std::is_default_constructible_v<T>, "registered structs are default-constructible");

 public:
  StructRegistration(BindingRegistry& registry, const std::string& name)
      : builder(registry.RegisterType(sizeof(T), name, StaticTypeOf<T>(), false)) {}

  // Adds the member `member` under `name`; `flags` are kBindingField* bits.
  template <typename M>
  StructRegistration& Field(const std::string& name, M T::*member,
                            const std::string& description = std::string(), uint32_t flags = 0) {
    builder.AddField(name, description, MemberOffset(member), &StaticTypeOf<M>(),
                     TypeRefOf<M>(builder.Registry()), BindingTypeRef(), flags,
                     std::make_unique<NativeConverter<M>>(), false);
    return *this;
  }
  StructRegistration& Description(const std::string& text) {
    builder.SetDescription(text);
    return *this;
  }
  StructRegistration& Tags(std::initializer_list<const char*> tags) {
    builder.AddTags(tags);
    return *this;
  }
  // The underlying builder, for what the shorthand does not cover.
  BindingTypeBuilder& Builder() { return builder; }

 private:
  BindingTypeBuilder builder;
};

// Registration of an enumeration E; see RegisterEnum.
template <typename E>
class EnumRegistration {
  static_assert(std::is_enum_v<E> && sizeof(E) <= sizeof(int32_t),
                "registered enumerations fit in int32_t");

 public:
  EnumRegistration(BindingRegistry& registry, const std::string& name)
      : builder(registry.RegisterType(sizeof(E), name, StaticTypeOf<E>(), true)) {}

  EnumRegistration& Value(const std::string& name, E value,
                          const std::string& description = std::string()) {
    builder.AddEnumerator(name, static_cast<int32_t>(value), description);
    return *this;
  }
  EnumRegistration& Description(const std::string& text) {
    builder.SetDescription(text);
    return *this;
  }
  EnumRegistration& Tags(std::initializer_list<const char*> tags) {
    builder.AddTags(tags);
    return *this;
  }
  BindingTypeBuilder& Builder() { return builder; }

 private:
  BindingTypeBuilder builder;
};

// Registers the standard-layout struct T under `name` (a name registered
// before keeps its first registration, and the returned object then does
// nothing).
template <typename T>
StructRegistration<T> RegisterStruct(BindingRegistry& registry, const std::string& name) {
  return StructRegistration<T>(registry, name);
}

// Registers the enumeration E under `name`, with the same rule.
template <typename E>
EnumRegistration<E> RegisterEnum(BindingRegistry& registry, const std::string& name) {
  return EnumRegistration<E>(registry, name);
}

// Registers the event `name` carrying records of the registered struct T.
template <typename T>
BindingEventBuilder RegisterEvent(BindingRegistry& registry, const std::string& name) {
  return registry.RegisterEvent(name, registry.FindType(&StaticTypeOf<T>()));
}

}  // namespace Halden
