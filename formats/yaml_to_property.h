// Reading YAML text into a BindingProperty tree.
#pragma once

#include <cstddef>
#include <cstdint>

#include "binding/binding_result.h"

namespace Halden {

// The deepest nesting of mappings and sequences YamlToProperty accepts, the
// outermost counting as level 1; copies made by aliases count where they
// land.
inline constexpr uint32_t kMaxYamlNesting = 512;

// The most values aliases may copy into one document: a few lines of nested
// aliases could otherwise expand to billions. The document's own values are
// bounded by its size and do not count.
inline constexpr uint64_t kMaxYamlValues = 1000000;

// Whether a reader's failure messages may quote the text they read (a
// scalar, a tag, an anchor or alias name); withheld, each such quote is
// kWithheldInput.
enum class InputQuoting { Quoted, Withheld };
inline constexpr const char* kWithheldInput = "***";

// Reads the one YAML document of `text` (`length` bytes of UTF-8; null reads
// as empty). An empty text gives a successful empty result.
//
// Mappings become Structures, sequences Collections. Keys must be scalars and
// are taken as text whatever they look like ("1", "null"). Untagged plain
// scalars are Empty for "", "~", "null", "Null", "NULL"; numbers, read the
// same whatever the locale (whole ones Unsigned, or Signed when negative,
// decimal integers exactly within 64 bits; others Float); bool for the YAML 1.1
// words (yes/no, on/off, y/n, true/false in three spellings); otherwise
// strings. Quoted scalars and "!!str" are strings; "!!int", "!!float" and
// "!!bool" convert the text; any other tag on a value is an error. An alias
// receives a copy of its anchored node as that node is when the alias is
// read (or the text of an anchored key); in key position it names the key
// when its anchor is on a key or a string. Repeated keys address the same
// member: a later scalar replaces it, a later mapping merges into it, a later
// sequence appends to it.
//
// Failures, each with its position (line and column counted from 1): a
// second document after a non-empty first, a non-string key, a sequence or
// mapping as a key, a repeated anchor name, an alias to an enclosing node or
// to no anchor, an unsupported tag, a number that does not convert, nesting
// deeper than kMaxYamlNesting, more than kMaxYamlValues values or bytes of
// keys copied by aliases, and the parser's own syntax errors (position
// counted from 0). Throws only
// std::bad_alloc and std::length_error.
BindingResult YamlToProperty(const char* text, std::size_t length,
                             InputQuoting quoting = InputQuoting::Quoted);

}  // namespace Halden
