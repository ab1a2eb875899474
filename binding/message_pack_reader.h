// Reading one MessagePack value into a BindingProperty tree.
#pragma once

#include <cstdint>

#include "binding/binding_result.h"

namespace Halden {

// The deepest nesting of maps and arrays ReadMessagePack accepts, the
// outermost container counting as level 1.
inline constexpr uint32_t kMaxMessagePackNesting = 512;

// Reads the first MessagePack value of `bytes` (`size` bytes) into a tree.
// Maps become Structures (keys must be strings), arrays Collections, strings
// Strings with every byte kept, bin Blobs, and nil leaves the value Empty;
// ext types are refused. A map that repeats a key writes each value into the
// same member: maps merge, a later array overwrites from index 0, a later nil
// keeps the earlier value.
//
// Nesting deeper than kMaxMessagePackNesting is refused, so that the
// recursive release, copy and walk of the tree fit a small thread stack.
// Items a container announces but the input lacks are not an error: the
// container keeps what was read. Bytes after the first complete value are
// left unread. Nothing is reserved for announced counts or lengths, so a
// short input costs little whatever it announces.
//
// On return `position` holds the offset where reading stopped: just past the
// value on success, at the offending field on failure. A failed result holds
// only the message, which names the byte position of the fault. Throws only
// std::bad_alloc, and std::length_error for more items or bytes than a
// Collection or Blob can hold.
BindingResult ReadMessagePack(const uint8_t* bytes, uint32_t size, uint32_t& position);

// True when `bytes` starts with a map or array header (0x80-0x9F, 0xDC-0xDF):
// how an untyped body is recognised as MessagePack.
bool LooksLikeMessagePack(const uint8_t* bytes, uint32_t size);

}  // namespace Halden
