// The converters of the native types that struct members, vector elements
// and function values may have, and the mapping from a native type to its
// converter and type code.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "binding/binding_result.h"
#include "binding/converter.h"
#include "binding/converter_input.h"
#include "binding/converter_output.h"
#include "binding/internal/scalar_conversion.h"
#include "binding/property.h"
#include "binding/registry.h"
#include "binding/static_type.h"
#include "binding/type_code.h"

namespace Halden {

template <typename T>
struct IsStdVector : std::false_type {};
template <typename E>
struct IsStdVector<std::vector<E>> : std::true_type {};

// The BindingTypeCode of a native type: bool, the integer types by size and
// sign, float, double, std::string, BindingProperty ("object"), enumerations,
// std::vector (whatever the element) and any other class (a struct).
template <typename T>
constexpr BindingTypeCode TypeCodeOf() {
  if constexpr (std::is_same_v<T, bool>) {
    return BindingTypeCode::Bool;
  } else if constexpr (std::is_integral_v<T>) {
    constexpr bool kSigned = std::is_signed_v<T>;
    if constexpr (sizeof(T) == 1) return kSigned ? BindingTypeCode::Int8 : BindingTypeCode::UInt8;
    if constexpr (sizeof(T) == 2) return kSigned ? BindingTypeCode::Int16 : BindingTypeCode::UInt16;
    if constexpr (sizeof(T) == 4) return kSigned ? BindingTypeCode::Int32 : BindingTypeCode::UInt32;
    if constexpr (sizeof(T) == 8) return kSigned ? BindingTypeCode::Int64 : BindingTypeCode::UInt64;
  } else if constexpr (std::is_same_v<T, float>) {
    return BindingTypeCode::Float;
  } else if constexpr (std::is_same_v<T, double>) {
    return BindingTypeCode::Double;
  } else if constexpr (std::is_same_v<T, std::string>) {
    return BindingTypeCode::String;
  } else if constexpr (std::is_same_v<T, BindingProperty>) {
    return BindingTypeCode::Object;
  } else if constexpr (std::is_enum_v<T>) {
    return BindingTypeCode::Enum;
  } else if constexpr (IsStdVector<T>::value) {
    return BindingTypeCode::Vector;
  } else if constexpr (std::is_class_v<T>) {
    return BindingTypeCode::Struct;
  } else {
    return BindingTypeCode::None;
  }
}

// The converters of scalar types read both kinds of input as a ScalarInput
// and write both kinds of output through converter_output.h: Derived
// supplies the rule and the write as
//   static void Read(BindingResult&, void* value, const ScalarInput&,
//                    const std::string& memberName, const BindingTypeDescriptor*,
//                    const BindingRegistry*);
//   template <typename Output>
//   static void Write(Output& output, const void* value, const BindingTypeDescriptor*).
template <typename Derived>
class ScalarConverter : public BindingConverter {
 public:
  bool ToProperty(BindingProperty& output, const void* value, const BindingTypeDescriptor* type,
                  const BindingRegistry*, BindingResult&) const final {
    Derived::Write(output, value, type);
    return true;
  }
  bool ToHostValue(HostOutput output, const void* value,
                   const BindingTypeDescriptor* type) const final {
    Derived::Write(output, value, type);
    return true;
  }
  void FromProperty(BindingResult& result, void* value, const BindingProperty& input,
                    const std::string& memberName, const BindingTypeDescriptor* type,
                    const BindingRegistry* registry, uint32_t) const final {
    Derived::Read(result, value, ScalarInput(input), memberName, type, registry);
  }
  void FromHostValue(BindingResult& result, void* value, const HostValue& input,
                     const std::string& memberName, const BindingTypeDescriptor* type,
                     const BindingRegistry* registry, uint32_t) const final {
    Derived::Read(result, value, InputScalar(input), memberName, type, registry);
  }
};

// bool: the boolean rule; Bool.
class BoolConverter final : public ScalarConverter<BoolConverter> {
 public:
  static void Read(BindingResult& result, void* value, const ScalarInput& input,
                   const std::string& memberName, const BindingTypeDescriptor* type,
                   const BindingRegistry* registry);
  template <typename Output>
  static void Write(Output& output, const void* value, const BindingTypeDescriptor*) {
    WriteBool(output, *static_cast<const bool*>(value));
  }
};

// An integer type: the signed or unsigned rule with the type's limits and
// type-code name; Signed or Unsigned.
template <typename T>
class IntegerConverter final : public ScalarConverter<IntegerConverter<T>> {
 public:
  static void Read(BindingResult& result, void* value, const ScalarInput& input,
                   const std::string& memberName, const BindingTypeDescriptor*,
                   const BindingRegistry*) {
    const char* typeName = TypeCodeName(TypeCodeOf<T>());
    if constexpr (std::is_signed_v<T>) {
      int64_t number;
      if (SignedFromScalar(result, input, memberName, typeName, std::numeric_limits<T>::min(),
                           std::numeric_limits<T>::max(), number)) {
        *static_cast<T*>(value) = static_cast<T>(number);
      }
    } else {
      uint64_t number;
      if (UnsignedFromScalar(result, input, memberName, typeName, std::numeric_limits<T>::max(),
                             number)) {
        *static_cast<T*>(value) = static_cast<T>(number);
      }
    }
  }
  template <typename Output>
  static void Write(Output& output, const void* value, const BindingTypeDescriptor*) {
    if constexpr (std::is_signed_v<T>) {
      WriteSigned(output, *static_cast<const T*>(value));
    } else {
      WriteUnsigned(output, *static_cast<const T*>(value));
    }
  }
};

// float and double: the floating rule within the largest finite values of
// either sign; Float.
template <typename T>
class FloatingConverter final : public ScalarConverter<FloatingConverter<T>> {
 public:
  static void Read(BindingResult& result, void* value, const ScalarInput& input,
                   const std::string& memberName, const BindingTypeDescriptor*,
                   const BindingRegistry*) {
    double number;
    if (FloatFromScalar(result, input, memberName, TypeCodeName(TypeCodeOf<T>()),
                        std::numeric_limits<T>::lowest(), std::numeric_limits<T>::max(), number)) {
      *static_cast<T*>(value) = static_cast<T>(number);
    }
  }
  template <typename Output>
  static void Write(Output& output, const void* value, const BindingTypeDescriptor*) {
    WriteFloat(output, *static_cast<const T*>(value));
  }
};

// std::string: the string rule; String (the text up to its first NUL).
class StringConverter final : public ScalarConverter<StringConverter> {
 public:
  static void Read(BindingResult& result, void* value, const ScalarInput& input,
                   const std::string& memberName, const BindingTypeDescriptor* type,
                   const BindingRegistry* registry);
  template <typename Output>
  static void Write(Output& output, const void* value, const BindingTypeDescriptor*) {
    WriteString(output, *static_cast<const std::string*>(value));
  }
};

// BindingProperty ("object"): the copy rule (an Empty input is accepted); a
// deep copy.
class PropertyConverter final : public BindingConverter {
 public:
  void FromProperty(BindingResult& result, void* value, const BindingProperty& input,
                    const std::string& memberName, const BindingTypeDescriptor* type,
                    const BindingRegistry* registry, uint32_t flags) const override;
  void FromHostValue(BindingResult& result, void* value, const HostValue& input,
                     const std::string& memberName, const BindingTypeDescriptor* type,
                     const BindingRegistry* registry, uint32_t flags) const override;
  bool ToProperty(BindingProperty& output, const void* value, const BindingTypeDescriptor* type,
                  const BindingRegistry* registry, BindingResult& result) const override;
  bool ToHostValue(HostOutput output, const void* value,
                   const BindingTypeDescriptor* type) const override;
};

// A registered enumeration E, described by `type`: the enumeration rule; an
// Enum holding the value and E's StaticType.
template <typename E>
class EnumConverter final : public ScalarConverter<EnumConverter<E>> {
  static_assert(sizeof(E) <= sizeof(int32_t), "enumerations convert through int32_t");

 public:
  static void Read(BindingResult& result, void* value, const ScalarInput& input,
                   const std::string& memberName, const BindingTypeDescriptor* type,
                   const BindingRegistry*) {
    int32_t number;
    if (EnumFromScalar(result, input, memberName, type, number)) {
      *static_cast<E*>(value) = static_cast<E>(number);
    }
  }
  template <typename Output>
  static void Write(Output& output, const void* value, const BindingTypeDescriptor* type) {
    WriteEnum(output, static_cast<int32_t>(*static_cast<const E*>(value)), &StaticTypeOf<E>(),
              type);
  }
};

// A registered struct, described by `type`: the struct rule, member by
// member through the field descriptors; the struct-to-property rule.
class StructConverter final : public BindingConverter {
 public:
  void FromProperty(BindingResult& result, void* value, const BindingProperty& input,
                    const std::string& memberName, const BindingTypeDescriptor* type,
                    const BindingRegistry* registry, uint32_t flags) const override;
  void FromHostValue(BindingResult& result, void* value, const HostValue& input,
                     const std::string& memberName, const BindingTypeDescriptor* type,
                     const BindingRegistry* registry, uint32_t flags) const override;
  bool ToProperty(BindingProperty& output, const void* value, const BindingTypeDescriptor* type,
                  const BindingRegistry* registry, BindingResult& result) const override;
  bool ToHostValue(HostOutput output, const void* value,
                   const BindingTypeDescriptor* type) const override;
};

namespace converter_internal {

// The compiled first step of the vector rule: checks the result and the
// input's kind (it empties nothing).
bool BeginVector(BindingResult& result, BindingPropertyKind kind, const std::string& memberName);

}  // namespace converter_internal

template <typename T>
struct NativeConverterFor;

// The converter class of a native type.
template <typename T>
using NativeConverter = typename NativeConverterFor<T>::type;

// std::vector<E>: the vector rule and the vector-to-property rule with E's
// converter; `type` is the element type's descriptor.
template <typename E>
class VectorConverter final : public BindingConverter {
  static_assert(!std::is_same_v<E, bool>, "std::vector<bool> has no addressable elements");

 public:
  void FromProperty(BindingResult& result, void* value, const BindingProperty& input,
                    const std::string& memberName, const BindingTypeDescriptor* type,
                    const BindingRegistry* registry, uint32_t flags) const override {
    Read(result, value, input, memberName, type, registry, flags);
  }
  void FromHostValue(BindingResult& result, void* value, const HostValue& input,
                     const std::string& memberName, const BindingTypeDescriptor* type,
                     const BindingRegistry* registry, uint32_t flags) const override {
    Read(result, value, input, memberName, type, registry, flags);
  }
  bool ToProperty(BindingProperty& output, const void* value, const BindingTypeDescriptor* type,
                  const BindingRegistry* registry, BindingResult& result) const override {
    return Write(output, value, [&](BindingProperty& element, const E& item) {
      return NativeConverter<E>().ToProperty(element, &item, type, registry, result);
    });
  }
  bool ToHostValue(HostOutput output, const void* value,
                   const BindingTypeDescriptor* type) const override {
    return Write(output, value, [&](HostOutput element, const E& item) {
      return NativeConverter<E>().ToHostValue(element, &item, type);
    });
  }

 private:
  template <typename Output, typename WriteElement>
  static bool Write(Output&& output, const void* value, WriteElement writeElement) {
    const std::vector<E>& elements = *static_cast<const std::vector<E>*>(value);
    const auto count = static_cast<uint32_t>(elements.size());
    if (!WriteCollection(output, count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
      if (!writeElement(ElementOutput(output, i), elements[i])) return false;
    }
    return true;
  }

  template <typename Input>
  static void Read(BindingResult& result, void* value, const Input& input,
                   const std::string& memberName, const BindingTypeDescriptor* type,
                   const BindingRegistry* registry, uint32_t flags) {
    std::vector<E>& elements = *static_cast<std::vector<E>*>(value);
    elements.clear();
    if (!converter_internal::BeginVector(result, InputKind(input), memberName)) return;
    elements.resize(InputSize(input));
    const NativeConverter<E> element;
    for (std::size_t i = 0; i < elements.size() && result.Ok(); ++i) {
      const auto& item = InputElement(input, i);
      if (InputKind(item) != BindingPropertyKind::Empty) {
        ReadInput(element, result, &elements[i], item, memberName, type, registry, flags);
      }
    }
  }
};

template <typename T>
struct NativeConverterFor {
  static_assert(TypeCodeOf<T>() != BindingTypeCode::None, "no converter for this native type");
  using type = std::conditional_t<
      std::is_same_v<T, bool>, BoolConverter,
      std::conditional_t<
          std::is_integral_v<T>, IntegerConverter<T>,
          std::conditional_t<
              std::is_floating_point_v<T>, FloatingConverter<T>,
              std::conditional_t<
                  std::is_same_v<T, std::string>, StringConverter,
                  std::conditional_t<
                      std::is_same_v<T, BindingProperty>, PropertyConverter,
                      std::conditional_t<std::is_enum_v<T>, EnumConverter<T>, StructConverter>>>>>>;
};

template <typename E>
struct NativeConverterFor<std::vector<E>> {
  using type = VectorConverter<E>;
};

// The type reference of a native type: its code, the element code of a
// vector, and the descriptor registered in `registry` for the enumeration
// or struct it names (itself or its element); the descriptor is null when
// that type is not registered.
template <typename T>
BindingTypeRef TypeRefOf(const BindingRegistry& registry) {
  constexpr BindingTypeCode kCode = TypeCodeOf<T>();
  static_assert(kCode != BindingTypeCode::None, "no type code for this native type");
  if constexpr (kCode == BindingTypeCode::Vector) {
    using Element = typename T::value_type;
    constexpr BindingTypeCode kElementCode = TypeCodeOf<Element>();
    static_assert(kElementCode != BindingTypeCode::Vector, "only one element level is expressible");
    return {kCode, kElementCode, TypeRefOf<Element>(registry).descriptor};
  } else if constexpr (kCode == BindingTypeCode::Enum || kCode == BindingTypeCode::Struct) {
    return {kCode, BindingTypeCode::None, registry.FindType(&StaticTypeOf<T>())};
  } else {
    return {kCode, BindingTypeCode::None, nullptr};
  }
}

}  // namespace Halden
