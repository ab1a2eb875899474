#include "binding/api_description.h"

#include <string>

namespace Halden {
namespace {

const char* const kEmptyText = "";

// The registered name behind a vector, enum, struct or map reference.
const char* TypeNameOf(const BindingTypeRef& type) {
  switch (type.code) {
    case BindingTypeCode::Vector:
    case BindingTypeCode::Enum:
    case BindingTypeCode::Struct:
    case BindingTypeCode::Map:
      return type.descriptor != nullptr ? type.descriptor->name.c_str() : kEmptyText;
    default:
      return kEmptyText;
  }
}

// An exposed type, when one is given, is what the host is told.
const BindingTypeRef& Described(const BindingTypeRef& native, const BindingTypeRef& exposed) {
  return exposed.code != BindingTypeCode::None ? exposed : native;
}

uint32_t Code(BindingTypeCode code) { return static_cast<uint32_t>(code); }

uint32_t Count(std::size_t size) { return static_cast<uint32_t>(size); }

std::vector<const char*> TagPointers(const std::vector<std::string>& tags) {
  std::vector<const char*> pointers;
  pointers.reserve(tags.size());
  for (const std::string& tag : tags) pointers.push_back(tag.c_str());
  return pointers;
}

template <typename Record>
const Record* Linked(std::vector<Record>& records) {
  for (std::size_t i = 0; i + 1 < records.size(); ++i) records[i].next = &records[i + 1];
  if (!records.empty()) records.back().next = nullptr;
  return records.empty() ? nullptr : records.data();
}

ApiFunctionRecord DescribeFunction(const BindingFunctionDescriptor& function,
                                   std::vector<ApiArgumentRecord>& arguments,
                                   std::vector<const char*>& tags) {
  arguments.clear();
  for (const BindingArgumentDescriptor& argument : function.arguments) {
    const BindingTypeRef& type = Described(argument.type, argument.exposedType);
    arguments.push_back({nullptr, argument.name.c_str(), argument.description.c_str(),
                         Code(type.code), Code(type.elementCode), TypeNameOf(type),
                         argument.optional});
  }
  tags = TagPointers(function.tags);
  const BindingTypeRef& result = Described(function.returns, function.exposedReturns);
  const char* async = kEmptyText;
  if (function.async && function.returns.descriptor != nullptr) {
    async = function.returns.descriptor->name.c_str();
  }
  return {nullptr,
          0,
          0,
          function.name.c_str(),
          function.nameSpace.c_str(),
          Linked(arguments),
          Count(arguments.size()),
          Code(result.code),
          Code(result.elementCode),
          TypeNameOf(result),
          function.description.c_str(),
          function.help.c_str(),
          static_cast<uint8_t>(function.threadSafe ? 1 : 0),
          async,
          tags.empty() ? nullptr : tags.data(),
          Count(tags.size())};
}

ApiTypeRecord DescribeType(const BindingTypeDescriptor& type, std::vector<ApiFieldRecord>& fields,
                           std::vector<ApiEnumeratorRecord>& enumerators,
                           std::vector<const char*>& tags) {
  fields.clear();
  for (const BindingFieldDescriptor& field : type.fields) {
    const BindingTypeRef& described = Described(field.type, field.exposedType);
    fields.push_back({nullptr, field.name.c_str(), field.description.c_str(), field.offset,
                      Code(described.code), Code(described.elementCode), TypeNameOf(described),
                      field.optional});
  }
  enumerators.clear();
  for (const auto& [name, enumerator] : type.enumerators) {
    enumerators.push_back(
        {nullptr, name.c_str(), enumerator.description.c_str(), enumerator.value});
  }
  tags = TagPointers(type.tags);
  bool hasFields = !fields.empty();
  return {nullptr,
          type.name.c_str(),
          type.nameSpace.c_str(),
          type.size,
          type.description.c_str(),
          tags.empty() ? nullptr : tags.data(),
          Count(tags.size()),
          hasFields ? Linked(fields) : nullptr,
          hasFields ? nullptr : Linked(enumerators),
          Count(hasFields ? fields.size() : enumerators.size())};
}

ApiEventRecord DescribeEvent(const BindingEventDescriptor& event, std::vector<const char*>& tags) {
  tags = TagPointers(event.tags);
  return {nullptr,
          event.name.c_str(),
          event.nameSpace.c_str(),
          event.type != nullptr ? event.type->name.c_str() : kEmptyText,
          event.description.c_str(),
          tags.empty() ? nullptr : tags.data(),
          Count(tags.size())};
}

}  // namespace

ApiDescription BuildApiDescription(const std::vector<const BindingFunctionDescriptor*>& functions,
                                   const std::vector<const BindingTypeDescriptor*>& types,
                                   const std::vector<const BindingEventDescriptor*>& events,
                                   ApiDescriptionStorage& storage) {
  // The per-record arrays are sized first, so the pointers taken into them
  // below stay valid.
  storage.functions.resize(functions.size());
  storage.arguments.resize(functions.size());
  storage.functionTags.resize(functions.size());
  for (std::size_t i = 0; i < functions.size(); ++i) {
    storage.functions[i] =
        DescribeFunction(*functions[i], storage.arguments[i], storage.functionTags[i]);
  }
  storage.types.resize(types.size());
  storage.fields.resize(types.size());
  storage.enumerators.resize(types.size());
  storage.typeTags.resize(types.size());
  for (std::size_t i = 0; i < types.size(); ++i) {
    storage.types[i] =
        DescribeType(*types[i], storage.fields[i], storage.enumerators[i], storage.typeTags[i]);
  }
  storage.events.resize(events.size());
  storage.eventTags.resize(events.size());
  for (std::size_t i = 0; i < events.size(); ++i) {
    storage.events[i] = DescribeEvent(*events[i], storage.eventTags[i]);
  }
  return {Linked(storage.functions), Count(storage.functions.size()),
          Linked(storage.types),     Count(storage.types.size()),
          Linked(storage.events),    Count(storage.events.size())};
}

}  // namespace Halden
