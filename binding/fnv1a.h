// 32-bit FNV-1a, the hash of interned strings and of native type signatures.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Halden {

inline constexpr uint32_t kFnv1aOffsetBasis = 0x811C9DC5u;
inline constexpr uint32_t kFnv1aPrime = 16777619u;

// Hash of the bytes of `text` up to its first NUL.
constexpr uint32_t Fnv1a(const char* text) {
  uint32_t hash = kFnv1aOffsetBasis;
  for (; *text != '\0'; ++text) {
    hash = (hash ^ static_cast<unsigned char>(*text)) * kFnv1aPrime;
  }
  return hash;
}

// Hash of the first `size` bytes of `data`, stopping early at a NUL byte, so
// a text with an embedded NUL hashes like its part before the NUL.
constexpr uint32_t Fnv1a(const char* data, std::size_t size) {
  uint32_t hash = kFnv1aOffsetBasis;
  for (std::size_t i = 0; i < size && data[i] != '\0'; ++i) {
    hash = (hash ^ static_cast<unsigned char>(data[i])) * kFnv1aPrime;
  }
  return hash;
}

}  // namespace Halden
