// The static identity of a native type.
#pragma once

#include <cstdint>

#include "binding/fnv1a.h"

namespace Halden {

// One record per native type, created on first use and never freed. `id` is
// fixed when the program is built and is the only thing to compare; `name` is
// for display only: the signature text of `StaticType::Name<T>()` (its exact
// form depends on the compiler), or "#%08X" of the id kept in
// `generatedName` when no text is given.
//
// Obtain records with `StaticTypeOf<T>()`; records are not copyable because
// `name` may point into the record itself.
struct StaticType {
  constexpr StaticType(uint32_t typeId, const char* signature) : id(typeId), name(signature) {
    if (name == nullptr || *name == '\0') {
      constexpr char kDigits[] = "0123456789ABCDEF";
      generatedName[0] = '#';
      for (int i = 0; i < 8; ++i) {
        generatedName[1 + i] = kDigits[(typeId >> (28 - 4 * i)) & 0xF];
      }
      generatedName[9] = '\0';
      name = generatedName;
    }
  }
  StaticType(const StaticType&) = delete;
  StaticType& operator=(const StaticType&) = delete;

  // The naming function whose compiler-provided signature names T.
  template <typename T>
  static constexpr const char* Name() {
#if defined(_MSC_VER) && !defined(__clang__)
    return __FUNCSIG__;
#else
    return __PRETTY_FUNCTION__;
#endif
  }

  uint32_t id;
  const char* name;
  char generatedName[10] = {};
};

// The build-time identifier of T: FNV-1a of the signature of
// `StaticType::Name<T>()`, which differs for every type of the program.
template <typename T>
constexpr uint32_t StaticTypeId() {
  return Fnv1a(StaticType::Name<T>());
}

// The one record of T (`void` included).
template <typename T>
const StaticType& StaticTypeOf() {
  static constinit const StaticType record(StaticTypeId<T>(), StaticType::Name<T>());
  return record;
}

}  // namespace Halden
