// Writing a BindingProperty tree as JSON text.
#pragma once

#include <string>

#include "binding/property.h"

namespace Halden {

class BindingRegistry;

// Writes `value` as JSON. An Empty value gives "" (no text at all); an Empty
// inside a container is written null.
//
// With `lineBreak` null or "" the text is compact, without any white space.
// Otherwise it is pretty: every array element and object member on a line of
// its own, indented by 4 spaces per level, ": " after member names, [] and {}
// for empty containers and no line break after the last bracket; every line
// break is `lineBreak` (for instance "\r\n").
//
// Structure members come in key order. Floats are written in the shortest
// form that reads back to the same double and always carry a fraction or an
// exponent (1.0); NaN and infinities, which JSON cannot express, are written
// null. Strings keep every byte, with quote, backslash and control characters
// escaped. Blobs are written as Base64 strings. An Enum is written as its
// enumerator's name when `registry` (which may be null) names the value,
// otherwise as its number.
std::string PropertyToJson(const BindingProperty& value, const BindingRegistry* registry,
                           const char* lineBreak);

}  // namespace Halden
