// Binding a call's named values (query entries, path captures, headers) to
// the parameters of an endpoint function.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "binding/binding_result.h"
#include "binding/descriptors.h"
#include "binding/property.h"
#include "formats/json_to_property.h"
#include "formats/yaml_to_property.h"

namespace Halden {

// Query entries by decoded name; a name seen again replaces the earlier value.
using QueryEntries = std::map<std::string, std::string>;

// Parameter positions by parameter name.
using ParameterIndex = std::unordered_map<std::string, std::size_t>;

// Index segments of an argument path ("list.3") at or above this are refused,
// and so is an index that would take the elements the argument paths of one
// call add past this many, so that a short query (a path of hundreds of
// large indexes, or many such keys) cannot grow collections without bound.
inline constexpr unsigned long long kMaxArgumentIndex = 65536;

// An argument path makes one level per segment; it may not nest deeper than
// a body may.
inline constexpr std::size_t kMaxArgumentPathDepth = kMaxJsonNesting;

// Splits `query` (the text after the first "?") at every "&": a piece with
// "=" gives the percent-decoded name before the first "=" and value after
// it, a piece without gives its decoded text as name with an empty value.
// Empty pieces ("a=1&&b=2", a trailing "&") name nothing and are skipped.
QueryEntries ParseQueryString(std::string_view query);

// Binds `value`, found under `key` in the source `sourceLocation` (kLocation*
// of boundary/api_table.h), to the function's parameter named by the key up to its
// first ".". The rest of the key, when there is one, is an argument path into
// the parameter (BindArgumentPath). Without a path a non-empty value is
// decoded by DecodeParameterValue (guessing the format for object, vector
// and struct parameters) and an empty one means true for a bool, an empty
// structure for an object or struct and an empty collection for a vector.
// `locations` (one per parameter, may be null) refuses a value whose source
// contradicts the parameter's location. Errors go to `callResult`:
// "Unknown argument '%1' for '%2'.", "Argument '%1' for '%2' was specified in
// an invalid location.", "Argument '%1' for '%2' nests deeper than 512
// levels." (a path of more than kMaxArgumentPathDepth segments), "Expected
// value for argument '%1'." and the decoders' messages, which quote the
// value's text only as `quoting` allows.
void BindNamedArgument(BindingResult& callResult, std::vector<BindingProperty>& arguments,
                       const ParameterIndex& parameters, const BindingFunctionDescriptor& function,
                       const std::vector<uint32_t>* locations, const std::string& key,
                       const std::string& value, const std::string& contentType,
                       uint32_t sourceLocation, std::size_t& addedElements,
                       InputQuoting quoting = InputQuoting::Quoted);

// Walks `path` ("filter.name", "list.2.x") from `target`, making members of
// structures for names and elements of collections for indexes (decimal,
// "0x" hexadecimal or leading-"0" octal), and decodes `value` into the last
// one without guessing. `addedElements` counts the elements the call's
// paths have added so far. Errors: "Index %1 is in an incorrect format" and
// "Index %1 is out of range" (at or above kMaxArgumentIndex, or adding
// elements past it), %1 the segment.
void BindArgumentPath(BindingResult& callResult, BindingProperty& target,
                      const std::string& functionName, std::string_view path,
                      const std::string& value, const std::string& contentType,
                      std::size_t& addedElements, InputQuoting quoting = InputQuoting::Quoted);

}  // namespace Halden
