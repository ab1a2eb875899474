#include "binding/converters.h"

#include <array>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/descriptors.h"
#include "binding/host_value_conversion.h"
#include "util/format.h"

namespace Halden {
namespace {

// What the omit-if-empty flag leaves out.
bool IsZeroOrEmpty(const BindingProperty& value) {
  switch (value.GetKind()) {
    case BindingPropertyKind::Empty:
      return true;
    case BindingPropertyKind::Bool:
      return !value.GetBool();
    case BindingPropertyKind::Signed:
      return value.GetSigned() == 0;
    case BindingPropertyKind::Unsigned:
      return value.GetUnsigned() == 0;
    case BindingPropertyKind::Float:
      return value.GetFloat() == 0;
    case BindingPropertyKind::Enum:
      return value.GetEnum().value == 0;
    default:
      return value.Size() == 0;
  }
}

// The members a struct reads, one per field, found before the fields are
// read. A property's are found in one walk of its members, in key order,
// beside the fields in key order. A host value's are its entries one for one
// when the host wrote them one per field in key order (as this library does)
// or in the fields' own order (as records are commonly written), which one
// comparison per field confirms; otherwise each is looked up by name.
template <typename Input>
class FieldMembers {
 public:
  FieldMembers(const Input& input, const BindingTypeDescriptor& type) {
    const std::size_t count = type.fields.size();
    if (count > kInline) spilled.resize(count);
    found = count > kInline ? spilled.data() : inline_.data();
    Find(input, type);
  }
  const Input& Of(std::size_t index) const { return *found[index]; }

 private:
  void Find(const BindingProperty& input, const BindingTypeDescriptor& type) {
    BindingMemberIterator member = input.Members().begin();
    const BindingMemberIterator end = input.Members().end();
    for (uint32_t index : type.keyOrder) {
      const std::string_view name = type.fields[index].name.c_str();
      while (member != end && internal::KeyTextLess(member.Key(), name)) ++member;
      found[index] =
          member != end && member.Key() == name ? &member.Value() : &BindingProperty::Empty();
    }
  }
  // writesHostDirectly also means no two fields of one name, so entries
  // matched one for one hold no key twice (of which the last would count).
  void Find(const HostValue& input, const BindingTypeDescriptor& type) {
    const std::size_t count = type.fields.size();
    if (type.writesHostDirectly && input.kind == kHostStructure &&
        input.structure.entries != nullptr && input.structure.count == count &&
        (MatchOneForOne(input.structure.entries, type, type.keyOrder.data()) ||
         MatchOneForOne(input.structure.entries, type, nullptr))) {
      return;
    }
    for (std::size_t i = 0; i < count; ++i) found[i] = &InputMember(input, type.fields[i].name);
  }
  // Whether entry k is the field order[k] (the field k without an order),
  // for every k.
  bool MatchOneForOne(const HostMemberEntry* entries, const BindingTypeDescriptor& type,
                      const uint32_t* order) {
    for (std::size_t k = 0; k < type.fields.size(); ++k) {
      const std::size_t index = order != nullptr ? order[k] : k;
      if (!InputKeyEquals(entries[k].key, type.fields[index].name)) return false;
      found[index] = &entries[k].value;
    }
    return true;
  }

  static constexpr std::size_t kInline = 32;
  std::array<const Input*, kInline> inline_;
  std::vector<const Input*> spilled;
  const Input** found = nullptr;
};

// The struct rule over either kind of input.
template <typename Input>
void ReadStruct(BindingResult& result, void* value, const Input& input,
                const std::string& memberName, const BindingTypeDescriptor* type,
                const BindingRegistry* registry) {
  if (!result.Ok()) return;
  const BindingPropertyKind kind = InputKind(input);
  if (kind == BindingPropertyKind::Empty) {
    FailRequired(result, memberName);
    return;
  }
  if (type == nullptr) {
    result.SetError(FormatMessage(
        "Couldn't assign value to '%1' because the input is an unregistered structure or not a "
        "structure at all.",
        memberName));
    return;
  }
  if (kind != BindingPropertyKind::Structure) {
    result.SetError(
        FormatMessage("Couldn't assign value to '%1' of type %2 because the input not a structure.",
                      memberName, type->name));
    return;
  }
  char* const base = static_cast<char*>(value);
  const FieldMembers<Input> members(input, *type);
  for (std::size_t i = 0; i < type->fields.size(); ++i) {
    const BindingFieldDescriptor& field = type->fields[i];
    if (!result.Ok()) return;
    if (field.converter == nullptr) continue;
    const auto& member = members.Of(i);
    if (InputKind(member) != BindingPropertyKind::Empty) {
      ReadInput(*field.converter, result, base + field.offset, member, field.name,
                field.type.descriptor, registry, field.flags);
    } else if ((field.flags & kBindingFieldRequired) != 0) {
      result.SetError(FormatMessage(
          "Couldn't assign value to '%1' of type %2 because the input structure doesn't have "
          "required field '%3'.",
          memberName, type->name, field.name));
    }
  }
}

}  // namespace

void BoolConverter::Read(BindingResult& result, void* value, const ScalarInput& input,
                         const std::string& memberName, const BindingTypeDescriptor*,
                         const BindingRegistry*) {
  BoolFromScalar(result, input, memberName, *static_cast<bool*>(value));
}

void StringConverter::Read(BindingResult& result, void* value, const ScalarInput& input,
                           const std::string& memberName, const BindingTypeDescriptor*,
                           const BindingRegistry* registry) {
  StringFromScalar(result, input, memberName, registry, *static_cast<std::string*>(value));
}

void PropertyConverter::FromProperty(BindingResult& result, void* value,
                                     const BindingProperty& input, const std::string&,
                                     const BindingTypeDescriptor*, const BindingRegistry*,
                                     uint32_t) const {
  BindingProperty& native = *static_cast<BindingProperty*>(value);
  native.Reset();
  if (result.Ok()) native = input;
}

void PropertyConverter::FromHostValue(BindingResult& result, void* value, const HostValue& input,
                                      const std::string& memberName, const BindingTypeDescriptor*,
                                      const BindingRegistry*, uint32_t) const {
  BindingProperty& native = *static_cast<BindingProperty*>(value);
  native.Reset();
  if (!result.Ok()) return;
  JsonApiResponse refused{};
  if (!HostValueToProperty(input, native, memberName, &refused)) {
    result.SetError(refused.errorText);
    delete[] refused.errorText;
  }
}

bool PropertyConverter::ToProperty(BindingProperty& output, const void* value,
                                   const BindingTypeDescriptor*, const BindingRegistry*,
                                   BindingResult&) const {
  output = *static_cast<const BindingProperty*>(value);
  return true;
}

bool PropertyConverter::ToHostValue(HostOutput output, const void* value,
                                    const BindingTypeDescriptor*) const {
  return PropertyToHostValueBelow(*static_cast<const BindingProperty*>(value), output.value,
                                  output.registry, output.depth);
}

void StructConverter::FromProperty(BindingResult& result, void* value, const BindingProperty& input,
                                   const std::string& memberName, const BindingTypeDescriptor* type,
                                   const BindingRegistry* registry, uint32_t) const {
  ReadStruct(result, value, input, memberName, type, registry);
}

void StructConverter::FromHostValue(BindingResult& result, void* value, const HostValue& input,
                                    const std::string& memberName,
                                    const BindingTypeDescriptor* type,
                                    const BindingRegistry* registry, uint32_t) const {
  ReadStruct(result, value, input, memberName, type, registry);
}

namespace {

// The struct-to-property rule's loop, field by field in registration order.
bool WriteFieldsInOrder(BindingProperty& output, const char* base,
                        const BindingTypeDescriptor& type, const BindingRegistry* registry,
                        BindingResult& result) {
  for (const BindingFieldDescriptor& field : type.fields) {
    if (field.converter == nullptr) continue;
    const void* member = base + field.offset;
    if ((field.flags & kBindingFieldOmitIfEmpty) == 0) {
      // A member of the same name made before is replaced, not added to.
      BindingProperty& made = output.Member(field.name);
      made.Reset();
      if (!field.converter->ToProperty(made, member, field.type.descriptor, registry, result)) {
        return false;
      }
      continue;
    }
    // Only the converted value tells whether the member is left out.
    BindingResult converted;
    if (!field.converter->ToProperty(converted, member, field.type.descriptor, registry,
                                     converted)) {
      result.SetError(converted.Error());
      return false;
    }
    if (!IsZeroOrEmpty(converted)) output.Member(field.name) = std::move(converted);
  }
  return true;
}

}  // namespace

// When the members are the fields one for one, they are made in key order,
// each at the end of the structure, with the key's hash the field keeps.
// (Whatever the order, a failure reads the same: an unregistered record.)
bool StructConverter::ToProperty(BindingProperty& output, const void* value,
                                 const BindingTypeDescriptor* type, const BindingRegistry* registry,
                                 BindingResult& result) const {
  if (type == nullptr) {
    result.SetError("Couldn't convert native value because it's an unregistered structure.");
    return false;
  }
  output.MakeStructure();
  const char* const base = static_cast<const char*>(value);
  if (!type->writesHostDirectly) return WriteFieldsInOrder(output, base, *type, registry, result);
  for (uint32_t index : type->keyOrder) {
    const BindingFieldDescriptor& field = type->fields[index];
    if (!field.converter->ToProperty(output.Member(field.name, field.nameHash), base + field.offset,
                                     field.type.descriptor, registry, result)) {
      return false;
    }
  }
  return true;
}

// Members are written in key order (BindingTypeDescriptor's keyOrder); a
// type whose property would leave members out or merge two of one name is
// written through a property instead.
bool StructConverter::ToHostValue(HostOutput output, const void* value,
                                  const BindingTypeDescriptor* type) const {
  if (type == nullptr || !type->writesHostDirectly || output.depth >= kMaxHostValueNesting) {
    return false;
  }
  HostValue& host = output.value;
  host.kind = kHostStructure;
  const auto count = static_cast<uint32_t>(type->fields.size());
  if (count == 0) return true;
  HostMemberEntry* const entries = new HostMemberEntry[count]();
  host.structure = {entries, count};
  const char* const base = static_cast<const char*>(value);
  for (uint32_t k = 0; k < count; ++k) {
    const BindingFieldDescriptor& field = type->fields[type->keyOrder[k]];
    HostMemberEntry& entry = entries[k];
    entry.key = CopyHostText(field.name.c_str());
    entry.keyOwned = 1;
    if (!field.converter->ToHostValue({entry.value, output.registry, output.depth + 1},
                                      base + field.offset, field.type.descriptor)) {
      return false;
    }
  }
  return true;
}

namespace converter_internal {

bool BeginVector(BindingResult& result, BindingPropertyKind kind, const std::string& memberName) {
  if (!result.Ok()) return false;
  if (kind != BindingPropertyKind::Collection) {
    result.SetError(FormatMessage(
        "Couldn't assign value to '%1' of type vector because the input not a collection.",
        memberName));
    return false;
  }
  return true;
}

}  // namespace converter_internal

}  // namespace Halden
