#include "api/call_binding.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "api/route.h"
#include "boundary/api_table.h"
#include "formats/parameter_value.h"
#include "util/format.h"

namespace Halden {

QueryEntries ParseQueryString(std::string_view query) {
  QueryEntries entries;
  while (!query.empty()) {
    const std::size_t end = query.find('&');
    const std::string_view piece = query.substr(0, end);
    query.remove_prefix(end == std::string_view::npos ? query.size() : end + 1);
    if (piece.empty()) continue;
    const std::size_t equals = piece.find('=');
    if (equals == std::string_view::npos) {
      entries[PercentDecode(piece)].clear();
    } else {
      entries[PercentDecode(piece.substr(0, equals))] = PercentDecode(piece.substr(equals + 1));
    }
  }
  return entries;
}

void BindNamedArgument(BindingResult& callResult, std::vector<BindingProperty>& arguments,
                       const ParameterIndex& parameters, const BindingFunctionDescriptor& function,
                       const std::vector<uint32_t>* locations, const std::string& key,
                       const std::string& value, const std::string& contentType,
                       uint32_t sourceLocation, std::size_t& addedElements, InputQuoting quoting) {
  const std::size_t dot = key.find('.');
  const std::string baseName = key.substr(0, dot);
  const auto found = parameters.find(baseName);
  if (found == parameters.end()) {
    callResult.SetError(FormatMessage("Unknown argument '%1' for '%2'.", baseName, function.name));
    return;
  }
  const std::size_t index = found->second;
  if (locations != nullptr && index < locations->size()) {
    const uint32_t location = (*locations)[index];
    if (location != kLocationAny && location != sourceLocation) {
      callResult.SetError(FormatMessage(
          "Argument '%1' for '%2' was specified in an invalid location.", baseName, function.name));
      return;
    }
  }
  const BindingArgumentDescriptor& parameter = function.arguments[index];
  BindingProperty& target = arguments[index];
  if (dot != std::string::npos) {
    const std::string_view path = std::string_view(key).substr(dot + 1);
    if (static_cast<std::size_t>(std::count(path.begin(), path.end(), '.')) >=
        kMaxArgumentPathDepth) {
      callResult.SetError(FormatMessage("Argument '%1' for '%2' nests deeper than %3 levels.",
                                        baseName, function.name, kMaxArgumentPathDepth));
      return;
    }
    BindArgumentPath(callResult, target, function.name, path, value, contentType, addedElements,
                     quoting);
    return;
  }
  const BindingTypeCode type = parameter.type.code;
  if (!value.empty()) {
    const bool guess = type == BindingTypeCode::Object || type == BindingTypeCode::Vector ||
                       type == BindingTypeCode::Struct;
    DecodeParameterValue(target, callResult, function.name, parameter.name, value, contentType,
                         guess, quoting);
    return;
  }
  switch (type) {
    case BindingTypeCode::Bool:
      target.SetBool(true);
      break;
    case BindingTypeCode::Object:
    case BindingTypeCode::Struct:
      target.Reset();
      target.MakeStructure();
      break;
    case BindingTypeCode::Vector:
      target.Reset();
      target.MakeCollection();
      break;
    default:
      callResult.SetError(FormatMessage("Expected value for argument '%1'.", parameter.name));
      break;
  }
}

void BindArgumentPath(BindingResult& callResult, BindingProperty& target,
                      const std::string& functionName, std::string_view path,
                      const std::string& value, const std::string& contentType,
                      std::size_t& addedElements, InputQuoting quoting) {
  BindingProperty* at = &target;
  while (true) {
    const std::size_t dot = path.find('.');
    const std::string segment(path.substr(0, dot));
    if (segment.empty() || segment[0] < '0' || segment[0] > '9') {
      at = &at->Member(segment);
    } else {
      char* end = nullptr;
      errno = 0;
      const unsigned long long index = std::strtoull(segment.c_str(), &end, 0);
      // strtoull stops at a NUL that percent-decoding may have put inside.
      if (end != segment.c_str() + segment.size()) {
        callResult.SetError(FormatMessage("Index %1 is in an incorrect format", segment));
        return;
      }
      const std::size_t size = at->GetKind() == BindingPropertyKind::Collection ? at->Size() : 0;
      const std::size_t adding = index < size ? 0 : static_cast<std::size_t>(index) + 1 - size;
      if (errno == ERANGE || index >= kMaxArgumentIndex ||
          addedElements + adding > kMaxArgumentIndex) {
        callResult.SetError(FormatMessage("Index %1 is out of range", segment));
        return;
      }
      addedElements += adding;
      at = &at->At(static_cast<std::size_t>(index));
    }
    if (dot == std::string_view::npos) {
      DecodeParameterValue(*at, callResult, functionName, segment, value, contentType, false,
                           quoting);
      return;
    }
    path.remove_prefix(dot + 1);
  }
}

}  // namespace Halden
