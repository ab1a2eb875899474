// Field names shared by every tree a registered struct is written into.
#pragma once

#include <cstddef>

#include "binding/interned_string.h"

namespace Halden {

// A field descriptor's hold on the entry of its name. Trees that a struct is
// written into refer to that entry as the member's key instead of interning
// the name in each tree, and a struct read back finds its members by entry
// before it compares texts.
//
// Entries are process-wide and, like the empty entry, never counted by the
// trees that refer to them (their RefCount is 0). One text has one entry. An
// entry outlives the descriptors that hold it, so that a tree may outlive its
// registry; ReleaseUnheld frees the entries no descriptor holds any longer,
// when the library is about to be unloaded and no tree is left.
class SharedKey {
 public:
  SharedKey() = default;
  // The entry of `name` up to its first NUL; the empty entry for "".
  explicit SharedKey(const char* name);
  SharedKey(SharedKey&& other) noexcept;
  SharedKey& operator=(SharedKey&& other) noexcept;
  SharedKey(const SharedKey&) = delete;
  SharedKey& operator=(const SharedKey&) = delete;
  ~SharedKey();

  InternedString* Entry() const { return entry; }

  static void ReleaseUnheld();
  // Entries that exist, held or not.
  static std::size_t Count();

 private:
  void Drop() noexcept;

  InternedString* entry = nullptr;
};

}  // namespace Halden
