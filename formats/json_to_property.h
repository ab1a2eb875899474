// Reading JSON text into a BindingProperty tree.
#pragma once

#include <cstdint>

#include "binding/binding_result.h"

namespace Halden {

// The deepest nesting of objects and arrays JsonToProperty accepts, the
// outermost container counting as level 1.
inline constexpr uint32_t kMaxJsonNesting = 512;

// Reads one JSON value from `text`, which ends at its first NUL (null reads
// as the empty text). Text that is empty or white space only gives a
// successful empty result.
//
// Objects become Structures and arrays Collections; integers without a minus
// sign become Unsigned, with one Signed, and other numbers (fractions,
// exponents, integers beyond 64 bits) Float; null leaves the value (or the
// collection element) Empty; strings are taken up to their first NUL. A
// member name repeated in one object addresses the same member: a later
// scalar replaces it, a later null keeps it, a later object merges into it
// and a later array appends to it.
//
// Any error gives the failed result "Error: <reason> at offset <n>.", with
// the parser's English reason and byte offset. Nesting deeper than
// kMaxJsonNesting fails with the reason "Nesting is deeper than 512 levels."
// at the offset of the container one level too deep, so that neither reading
// nor releasing the tree can exhaust the stack. Throws only std::bad_alloc
// and std::length_error (see BindingProperty).
BindingResult JsonToProperty(const char* text);

}  // namespace Halden
