// Decoding the text or bytes of one API call argument into a property.
#pragma once

#include <string>

#include "binding/binding_result.h"
#include "binding/property.h"
#include "formats/yaml_to_property.h"

namespace Halden {

// Decodes `value` into `target`, choosing the format by `contentType`
// (ParameterValueFormat in formats/content_type.h): MessagePack (the first
// value; bytes after it are ignored), JSON, YAML, a Blob of the bytes, or,
// for any other content type, a String of all the bytes.
//
// When `allowGuessing` is set and `contentType` is empty, the value chooses:
// a MessagePack map or array header means MessagePack, a "{" or "[" after
// leading spaces means JSON, a "---" after leading spaces means YAML, and
// anything else stays a String.
//
// On success the decoded value replaces the content of `target`. On failure
// `target` is left alone and `callResult` becomes the error
// "Couldn't deserialize <format> value for parameter '<parameterName>' of
// '<functionName>': <the decoder's message>", the value's text withheld from
// it as `quoting` says. Throws only std::bad_alloc and std::length_error.
void DecodeParameterValue(BindingProperty& target, BindingResult& callResult,
                          const std::string& functionName, const std::string& parameterName,
                          const std::string& value, const std::string& contentType,
                          bool allowGuessing, InputQuoting quoting = InputQuoting::Quoted);

}  // namespace Halden
