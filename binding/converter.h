// The converter of one native type, as struct members and vectors use it.
#pragma once

#include <cstdint>
#include <string>

namespace Halden {

class BindingProperty;
class BindingResult;
class BindingRegistry;
struct BindingTypeDescriptor;
struct HostOutput;
struct HostValue;

// Converts one native type between its native value and a BindingProperty,
// and from a HostValue.
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
  // The same from a host value, read as the property HostValueToProperty
  // would make of it, without making it. Every kind in `input`'s tree must
  // be one that converts (ConvertFromHostValueWith checks the whole tree
  // first).
  virtual void FromHostValue(BindingResult& result, void* value, const HostValue& input,
                             const std::string& memberName, const BindingTypeDescriptor* type,
                             const BindingRegistry* registry, uint32_t flags) const = 0;
  // Writes the native value at `value` into `output`, an Empty property of
  // the tree whose root is `result` (or `result` itself), building nested
  // values in place. On failure calls `result.SetError`, which releases
  // `output` with the rest of the tree, and returns false.
  virtual bool ToProperty(BindingProperty& output, const void* value,
                          const BindingTypeDescriptor* type, const BindingRegistry* registry,
                          BindingResult& result) const = 0;
  // Writes the native value at `value` into `output` in one pass, as the
  // property ToProperty makes of it would cross to the host
  // (PropertyToHostValue). False when that way would not give the same
  // tree: a failure of either step, or a struct whose members the property
  // would merge or leave out. The caller then releases what was written and
  // takes the way through a property, which has the failure's message.
  virtual bool ToHostValue(HostOutput output, const void* value,
                           const BindingTypeDescriptor* type) const = 0;
  virtual ~BindingConverter() = default;
};

}  // namespace Halden
