// Reading JSON text into a host value tree, for a converter to read straight
// into a native value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory_resource>

#include "boundary/host_value.h"

namespace Halden {

// A JSON text read into a HostValue tree that lives in this object: texts
// and keys lie in its copy of the text, arrays in its own memory. The tree
// reads (through FromHostValue) as the property JsonToProperty makes of the
// same text reads, so a request body can reach its record without a
// property tree.
//
// Read declines, and leaves the text to JsonToProperty, wherever the
// property has more to say than the tree could: a parse error, nesting past
// kMaxJsonNesting, blank text, and an object that names a member twice
// (repeated names merge in a property) or has more than kMaxMembers members
// (finding repeated names would cost a comparison of every pair).
class JsonHostTree {
 public:
  static constexpr uint32_t kMaxMembers = 32;

  JsonHostTree();
  JsonHostTree(const JsonHostTree&) = delete;
  JsonHostTree& operator=(const JsonHostTree&) = delete;

  // Reads `bytes` up to its first NUL or `length`, whichever comes first,
  // as JsonToProperty reads a text; false when it declines. Throws only
  // std::bad_alloc.
  bool Read(const char* bytes, std::size_t length);
  // The value read; kind 0 before a successful Read.
  const HostValue& Root() const { return root; }

 private:
  // A request body of a few hundred bytes takes no memory but this.
  alignas(std::max_align_t) std::byte initial[2048];
  std::pmr::monotonic_buffer_resource memory;
  HostValue root;
};

}  // namespace Halden
