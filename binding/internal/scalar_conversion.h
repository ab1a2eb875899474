// The rules that read the scalar types from a property or a host value:
// booleans, numbers, strings and enumerations.
#pragma once

#include <cstdint>
#include <string>

#include "binding/binding_result.h"
#include "binding/internal/scalar_input.h"

namespace Halden {

class BindingRegistry;
struct BindingTypeDescriptor;

// Each rule converts `input` into `out` and returns true. When `result` has
// already failed it does nothing and returns false; when the input does not
// convert it calls `result.SetError` with a message naming `memberName` and
// returns false, leaving `out` unchanged. An Empty input is always
// "A value for '%1' is required.".

// Bool, or a String holding exactly "true", "false", "1" or "0".
bool BoolFromScalar(BindingResult& result, const ScalarInput& input, const std::string& memberName,
                    bool& out);

// A number within [minimum, maximum]: Signed, Unsigned, Enum, a Float
// (truncated toward zero; NaN is out of range) or a String parsed by
// ParseSignedText. `typeName` ("int32", ...) names the type in messages.
bool SignedFromScalar(BindingResult& result, const ScalarInput& input,
                      const std::string& memberName, const char* typeName, int64_t minimum,
                      int64_t maximum, int64_t& out);

// As SignedFromProperty with the limits [0, maximum]; negative inputs are
// out of range.
bool UnsignedFromScalar(BindingResult& result, const ScalarInput& input,
                        const std::string& memberName, const char* typeName, uint64_t maximum,
                        uint64_t& out);

// A Float within [minimum, maximum] (NaN is within any limits), an integer
// kind converted to double, or a String parsed by ParseFloatText.
bool FloatFromScalar(BindingResult& result, const ScalarInput& input, const std::string& memberName,
                     const char* typeName, double minimum, double maximum, double& out);

// The bytes of a String, or the name of an Enum's enumerator, looked up in
// `registry` (which may be null). Numbers are not turned into text.
bool StringFromScalar(BindingResult& result, const ScalarInput& input,
                      const std::string& memberName, const BindingRegistry* registry,
                      std::string& out);

// A value of the enumeration `type` (null when it is not registered, which
// makes every value invalid): an enumerator's name, or a number in a
// Signed, Unsigned, String or Enum input that some enumerator carries; a
// number outside the signed 32-bit range is never one.
bool EnumFromScalar(BindingResult& result, const ScalarInput& input, const std::string& memberName,
                    const BindingTypeDescriptor* type, int32_t& out);

// "A value for '%1' is required." into `result`; returns false.
bool FailRequired(BindingResult& result, const std::string& memberName);

}  // namespace Halden
