// Conversion between BindingProperty trees and the HostValue trees that
// cross the host boundary.
#pragma once

#include <cstdint>
#include <string>

#include "binding/property.h"
#include "boundary/host_interface.h"
#include "boundary/host_value.h"

namespace Halden {

class BindingRegistry;

// Containers may nest this deep in a HostValue tree converted either way;
// a deeper tree fails rather than exhausting the stack.
inline constexpr int kMaxHostValueNesting = 512;

// Fills `out` from a host value, recursively: kinds 0 to 4 become Empty,
// Bool, Signed, Unsigned and Float; strings (kinds 5, 6) take the text up
// to its first NUL, blobs (7, 8) exactly `length` bytes; collections (9)
// and structures (10) convert element by element and entry by entry. A null
// text, blob or array counts as empty whatever its length or count, and a
// null key as the empty key.
//
// Any other kind, or containers nested deeper than kMaxHostValueNesting,
// fail: `out` keeps what was converted before the failure, and when
// `errorRecord` is not null its body is released, its error text becomes a
// copy (allocated with new[]; the record's owner frees it with delete[]) of
// "Couldn't assign value to '%1' of type object because the input is of an
// incompatible type '%2'." (%1 `memberName`, %2 HostKindName of the kind;
// for too deep a tree, of the container that is one level too deep), and
// its error flag becomes 1. Returns true on success.
bool HostValueToProperty(const HostValue& value, BindingProperty& out,
                         const std::string& memberName, JsonApiResponse* errorRecord);

// The value that makes HostValueToProperty fail on `value`'s tree (the
// first one in its order), or null when the tree converts.
const HostValue* FindUnconvertibleHostValue(const HostValue& value);
// The text of that failure for a value of `kind` named `memberName`.
std::string IncompatibleHostValueMessage(const std::string& memberName, int32_t kind);

// Fills `out`, whose earlier content is overwritten without being released,
// from a property: Empty, Bool, Signed, Unsigned and Float become kinds 0 to
// 4; a String an owned text (kind 6, NUL-terminated, length without the
// NUL); a Blob an owned blob (kind 8); an Enum the name of its enumerator
// (kind 6) when `registry` (which may be null) knows one, otherwise its
// value (kind 2); a Collection kind 9 and a Structure kind 10 with owned
// keys in key order. Everything allocated is owned by `out` (new[] arrays)
// and freed by ReleaseHostValue. An empty blob or container has a null
// pointer; every text has its own copy.
//
// Returns false, with `out` released, when containers nest deeper than
// kMaxHostValueNesting.
bool PropertyToHostValue(const BindingProperty& property, HostValue& out,
                         const BindingRegistry* registry);

// PropertyToHostValue for a property `depth` containers below the root of
// the tree being written; `out` is left for the caller to release, also on
// failure.
bool PropertyToHostValueBelow(const BindingProperty& property, HostValue& out,
                              const BindingRegistry* registry, int depth);

// An owned copy (new[]) of `text`, up to its first NUL, for a host value;
// its length goes to `length` when that is given.
char* CopyHostText(const char* text, uint32_t* length = nullptr);

}  // namespace Halden
