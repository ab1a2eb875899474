// The converter of one native type, as struct members and vectors use it.
#pragma once

#include <cstdint>
#include <string>

namespace Halden {

class BindingProperty;
class BindingResult;
class BindingRegistry;
struct BindingTypeDescriptor;

// Converts one native type between its native value and a BindingProperty.
// One stateless class exists per native type (and per enumeration, struct
// and vector element type); field descriptors own one instance each.
//
// `type` is the descriptor of the enumeration or struct concerned, or of
// the element type of a vector; it is null for the other types and when the
// type was never registered. `registry` may be null; it serves enumerator
// names only.
class BindingConverter {
 public:
  // Fills the native value at `value` from `input`. Does nothing when
  // `result` has already failed (apart from the reset that the copy and
  // vector rules make first); on failure calls `result.SetError` with a
  // message naming `memberName`. `flags` are the member's field flags.
  virtual void FromProperty(BindingResult& result, void* value, const BindingProperty& input,
                            const std::string& memberName, const BindingTypeDescriptor* type,
                            const BindingRegistry* registry, uint32_t flags) const = 0;
  // Fills `output`, a fresh result, from the native value at `value`; on
  // failure `output` holds the error.
  virtual void ToProperty(BindingResult& output, const void* value,
                          const BindingTypeDescriptor* type,
                          const BindingRegistry* registry) const = 0;
  virtual ~BindingConverter() = default;
};

}  // namespace Halden
