// Builds the flat records of api_description_records.h from the registry's
// descriptors. The records live in an ApiDescriptionStorage owned by the
// caller (the API table); texts point into the descriptors, so both must
// outlive the description. Building again replaces the previous records.
#pragma once

#include <vector>

#include "binding/descriptors.h"
#include "binding/registry.h"
#include "boundary/api_description_records.h"

namespace Halden {

struct ApiDescriptionStorage {
  std::vector<ApiFunctionRecord> functions;
  std::vector<std::vector<ApiArgumentRecord>> arguments;
  std::vector<std::vector<const char*>> functionTags;
  std::vector<ApiTypeRecord> types;
  std::vector<std::vector<ApiFieldRecord>> fields;
  std::vector<std::vector<ApiEnumeratorRecord>> enumerators;
  std::vector<std::vector<const char*>> typeTags;
  std::vector<ApiEventRecord> events;
  std::vector<std::vector<const char*>> eventTags;
};

// Describes the given functions, types and events, in the order given (the
// registry's snapshots).
ApiDescription BuildApiDescription(const std::vector<const BindingFunctionDescriptor*>& functions,
                                   const std::vector<const BindingTypeDescriptor*>& types,
                                   const std::vector<const BindingEventDescriptor*>& events,
                                   ApiDescriptionStorage& storage);

}  // namespace Halden
