// The interface through which a BindingProperty tree is walked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "binding/enum_value.h"
#include "binding/interned_string.h"

namespace Halden {

// Receives the events of BindingProperty::Accept, depth first:
//
//   value      := VisitEmpty | VisitBool | VisitSigned | VisitUnsigned
//               | VisitFloat | VisitString | VisitBlob | VisitEnum
//               | collection | structure
//   collection := BeginCollection(n)
//                 { BeginElement(i) value EndElement(i) }  for i = 0 .. n-1
//                 EndCollection
//   structure  := BeginStructure(n)
//                 { BeginMember(key) value EndMember(key) }  in key order
//                 EndStructure
//
// Every operation returns true to go on; returning false stops the walk at
// once, and Accept returns false. References passed in are valid only during
// the call.
class BindingPropertyVisitor {
 public:
  virtual bool VisitEmpty() = 0;
  virtual bool VisitBool(bool value) = 0;
  virtual bool VisitSigned(int64_t value) = 0;
  virtual bool VisitUnsigned(uint64_t value) = 0;
  virtual bool VisitFloat(double value) = 0;
  virtual bool VisitString(const InternedString& value) = 0;
  virtual bool VisitBlob(const std::vector<uint8_t>& value) = 0;
  virtual bool VisitEnum(const EnumValue& value) = 0;
  virtual bool BeginCollection(uint32_t count) = 0;
  virtual bool BeginElement(uint32_t index) = 0;
  virtual bool EndElement(uint32_t index) = 0;
  virtual bool EndCollection() = 0;
  virtual bool BeginStructure(uint32_t count) = 0;
  virtual bool BeginMember(const std::string& key) = 0;
  virtual bool EndMember(const std::string& key) = 0;
  virtual bool EndStructure() = 0;
  virtual ~BindingPropertyVisitor() = default;
};

}  // namespace Halden
