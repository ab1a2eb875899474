#include "binding/internal/scalar_conversion.h"

#include <limits>

#include "binding/descriptors.h"
#include "binding/number_conversion.h"
#include "binding/registry.h"
#include "util/format.h"

namespace Halden {
namespace {

constexpr const char* kOutOfRange = "Value %1 for '%2' of type %3 is out of range";
constexpr const char* kInvalidType =
    "Couldn't assign value to '%1' of type %2 because the input is of an invalid type %3.";
constexpr const char* kNotAnEnumerator = "%1 is not a valid %2 enumeration value for '%3'.";

// The exclusive upper bounds of the integer types as doubles: a double below
// them converts without overflow, whatever the limits given (the largest
// limits round up to these very values).
constexpr double kTwoTo63 = 9223372036854775808.0;
constexpr double kTwoTo64 = 18446744073709551616.0;

template <typename V>
bool FailOutOfRange(BindingResult& result, const V& value, const std::string& memberName,
                    const char* typeName) {
  result.SetError(FormatMessage(kOutOfRange, value, memberName, typeName));
  return false;
}

bool FailInvalidType(BindingResult& result, const ScalarInput& input, const std::string& memberName,
                     const char* typeName) {
  result.SetError(FormatMessage(kInvalidType, memberName, typeName, KindName(input.kind)));
  return false;
}

bool SignedInRange(int64_t value, int64_t minimum, int64_t maximum) {
  return value >= minimum && value <= maximum;
}

}  // namespace

bool FailRequired(BindingResult& result, const std::string& memberName) {
  result.SetError(FormatMessage("A value for '%1' is required.", memberName));
  return false;
}

bool BoolFromScalar(BindingResult& result, const ScalarInput& input, const std::string& memberName,
                    bool& out) {
  if (!result.Ok()) return false;
  switch (input.kind) {
    case BindingPropertyKind::Empty:
      return FailRequired(result, memberName);
    case BindingPropertyKind::Bool:
      out = input.boolean;
      return true;
    case BindingPropertyKind::String: {
      const std::string_view text = input.text;
      if (text == "1" || text == "true") {
        out = true;
        return true;
      }
      if (text == "0" || text == "false") {
        out = false;
        return true;
      }
      result.SetError(FormatMessage(
          "Value %1 for '%2' of type bool is in an incorrect format. Options are \"true\", "
          "\"false\", \"1\", \"0\".",
          text, memberName));
      return false;
    }
    default:
      result.SetError(FormatMessage(
          "Couldn't assign value to '%1' of type bool because the input is of an invalid type %2.",
          memberName, KindName(input.kind)));
      return false;
  }
}

bool SignedFromScalar(BindingResult& result, const ScalarInput& input,
                      const std::string& memberName, const char* typeName, int64_t minimum,
                      int64_t maximum, int64_t& out) {
  if (!result.Ok()) return false;
  switch (input.kind) {
    case BindingPropertyKind::Empty:
      return FailRequired(result, memberName);
    case BindingPropertyKind::Signed: {
      const int64_t value = input.signedValue;
      if (!SignedInRange(value, minimum, maximum)) {
        return FailOutOfRange(result, value, memberName, typeName);
      }
      out = value;
      return true;
    }
    case BindingPropertyKind::Unsigned: {
      const uint64_t value = input.unsignedValue;
      if (maximum < 0 || value > static_cast<uint64_t>(maximum) ||
          static_cast<int64_t>(value) < minimum) {
        return FailOutOfRange(result, value, memberName, typeName);
      }
      out = static_cast<int64_t>(value);
      return true;
    }
    case BindingPropertyKind::Float: {
      const double value = input.floatValue;
      // Written so that NaN fails every test.
      if (!(value >= static_cast<double>(minimum) && value <= static_cast<double>(maximum) &&
            value >= -kTwoTo63 && value < kTwoTo63)) {
        return FailOutOfRange(result, value, memberName, typeName);
      }
      out = static_cast<int64_t>(value);
      return true;
    }
    case BindingPropertyKind::String:
      return ParseSignedText(result, input.text, memberName, typeName, minimum, maximum, out);
    case BindingPropertyKind::Enum: {
      const int32_t value = input.enumValue.value;
      if (!SignedInRange(value, minimum, maximum)) {
        return FailOutOfRange(result, value, memberName, typeName);
      }
      out = value;
      return true;
    }
    default:
      return FailInvalidType(result, input, memberName, typeName);
  }
}

bool UnsignedFromScalar(BindingResult& result, const ScalarInput& input,
                        const std::string& memberName, const char* typeName, uint64_t maximum,
                        uint64_t& out) {
  if (!result.Ok()) return false;
  switch (input.kind) {
    case BindingPropertyKind::Empty:
      return FailRequired(result, memberName);
    case BindingPropertyKind::Signed: {
      const int64_t value = input.signedValue;
      if (value < 0 || static_cast<uint64_t>(value) > maximum) {
        return FailOutOfRange(result, value, memberName, typeName);
      }
      out = static_cast<uint64_t>(value);
      return true;
    }
    case BindingPropertyKind::Unsigned: {
      const uint64_t value = input.unsignedValue;
      if (value > maximum) return FailOutOfRange(result, value, memberName, typeName);
      out = value;
      return true;
    }
    case BindingPropertyKind::Float: {
      const double value = input.floatValue;
      if (!(value >= 0 && value <= static_cast<double>(maximum) && value < kTwoTo64)) {
        return FailOutOfRange(result, value, memberName, typeName);
      }
      out = static_cast<uint64_t>(value);
      return true;
    }
    case BindingPropertyKind::String:
      return ParseUnsignedText(result, input.text, memberName, typeName, maximum, out);
    case BindingPropertyKind::Enum: {
      const int32_t value = input.enumValue.value;
      if (value < 0 || static_cast<uint64_t>(value) > maximum) {
        return FailOutOfRange(result, value, memberName, typeName);
      }
      out = static_cast<uint64_t>(value);
      return true;
    }
    default:
      return FailInvalidType(result, input, memberName, typeName);
  }
}

bool FloatFromScalar(BindingResult& result, const ScalarInput& input, const std::string& memberName,
                     const char* typeName, double minimum, double maximum, double& out) {
  if (!result.Ok()) return false;
  double value;
  switch (input.kind) {
    case BindingPropertyKind::Empty:
      return FailRequired(result, memberName);
    case BindingPropertyKind::Signed:
      value = static_cast<double>(input.signedValue);
      if (value < minimum || value > maximum) {
        return FailOutOfRange(result, input.signedValue, memberName, typeName);
      }
      break;
    case BindingPropertyKind::Unsigned:
      value = static_cast<double>(input.unsignedValue);
      if (value < minimum || value > maximum) {
        return FailOutOfRange(result, input.unsignedValue, memberName, typeName);
      }
      break;
    case BindingPropertyKind::Float:
      value = input.floatValue;
      if (value < minimum || value > maximum) {
        return FailOutOfRange(result, value, memberName, typeName);
      }
      break;
    case BindingPropertyKind::String:
      return ParseFloatText(result, input.text, memberName, typeName, minimum, maximum, out);
    case BindingPropertyKind::Enum:
      value = input.enumValue.value;
      if (value < minimum || value > maximum) {
        return FailOutOfRange(result, input.enumValue.value, memberName, typeName);
      }
      break;
    default:
      return FailInvalidType(result, input, memberName, typeName);
  }
  out = value;
  return true;
}

bool StringFromScalar(BindingResult& result, const ScalarInput& input,
                      const std::string& memberName, const BindingRegistry* registry,
                      std::string& out) {
  if (!result.Ok()) return false;
  switch (input.kind) {
    case BindingPropertyKind::Empty:
      return FailRequired(result, memberName);
    case BindingPropertyKind::String:
      out = input.text;
      return true;
    case BindingPropertyKind::Enum: {
      const EnumValue& value = input.enumValue;
      const std::string* name =
          registry != nullptr ? registry->EnumeratorName(value.type, value.value) : nullptr;
      if (name == nullptr) {
        result.SetError(FormatMessage("%1 is not a valid enumeration value for '%2'.", value.value,
                                      memberName));
        return false;
      }
      out = *name;
      return true;
    }
    default:
      result.SetError(FormatMessage(
          "Couldn't assign value to '%1' because the input is not a string.", memberName));
      return false;
  }
}

bool EnumFromScalar(BindingResult& result, const ScalarInput& input, const std::string& memberName,
                    const BindingTypeDescriptor* type, int32_t& out) {
  if (!result.Ok()) return false;
  const std::string& typeName = type != nullptr ? type->name : kEmptyString;
  auto accept = [&](int64_t value) {
    if (type == nullptr || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max() ||
        !type->HasEnumeratorValue(static_cast<int32_t>(value))) {
      return false;
    }
    out = static_cast<int32_t>(value);
    return true;
  };
  switch (input.kind) {
    case BindingPropertyKind::Empty:
      return FailRequired(result, memberName);
    case BindingPropertyKind::Signed:
      if (accept(input.signedValue)) return true;
      result.SetError(FormatMessage(kNotAnEnumerator, input.signedValue, typeName, memberName));
      return false;
    case BindingPropertyKind::Unsigned:
      if (input.unsignedValue <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) &&
          accept(static_cast<int64_t>(input.unsignedValue))) {
        return true;
      }
      result.SetError(FormatMessage(kNotAnEnumerator, input.unsignedValue, typeName, memberName));
      return false;
    case BindingPropertyKind::String: {
      const std::string_view text = input.text;
      const BindingEnumeratorDescriptor* named =
          type != nullptr ? type->FindEnumerator(text) : nullptr;
      if (named != nullptr) {
        out = named->value;
        return true;
      }
      // The number's own message gives way to the enumeration's.
      BindingResult number;
      int64_t value = 0;
      if (ParseSignedText(number, text, memberName, typeName.c_str(),
                          std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                          value) &&
          accept(value)) {
        return true;
      }
      result.SetError(FormatMessage(kNotAnEnumerator, text, typeName, memberName));
      return false;
    }
    case BindingPropertyKind::Enum:
      if (accept(input.enumValue.value)) return true;
      result.SetError(FormatMessage(kNotAnEnumerator, input.enumValue.value, typeName, memberName));
      return false;
    default:
      result.SetError(FormatMessage(
          "Couldn't assign value to '%1' of enum type because the input is of an invalid type %2.",
          memberName, KindName(input.kind)));
      return false;
  }
}

}  // namespace Halden
