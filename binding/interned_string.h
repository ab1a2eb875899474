// A text shared by all String properties and structure keys of one tree.
#pragma once

#include <cstdint>
#include <string>

#include "binding/fnv1a.h"

namespace Halden {

class PropertyArena;

// One entry of a PropertyArena's string table: the text, its FNV-1a hash
// (over the bytes up to the first NUL) and the number of properties and keys
// that refer to it. Entries are created and freed only by their arena;
// callers hold pointers to them and read them.
//
// Two entries of one arena never have equal texts, where equal means the same
// length and the same bytes, embedded NUL bytes included.
//
// The empty text is one process-wide entry (`Empty()`) that belongs to no
// arena, is never counted and never freed.
class InternedString {
 public:
  InternedString(const InternedString&) = delete;
  InternedString& operator=(const InternedString&) = delete;

  const std::string& Text() const { return text; }
  uint32_t Hash() const { return hash; }
  // References held; 0 for the empty entry.
  uint32_t RefCount() const { return refCount; }

  static InternedString* Empty() { return &emptyEntry; }

 private:
  friend class PropertyArena;

  InternedString() = default;
  InternedString(std::string&& value, uint32_t valueHash)
      : text(std::move(value)), hash(valueHash), refCount(1) {}

  InternedString* next = nullptr;  // chain of the entry's hash bucket
  std::string text;
  uint32_t hash = kFnv1aOffsetBasis;
  uint32_t refCount = 0;

  static InternedString emptyEntry;
};

}  // namespace Halden
