#include "binding/converter_input.h"

namespace Halden {

namespace {

// Compares as the interned keys of a property would: a key with a NUL in
// it equals no host key, which ends at its first NUL.
bool KeyEquals(const char* hostKey, std::string_view key) {
  for (const char c : key) {
    if (c == '\0' || *hostKey != c) return false;
    ++hostKey;
  }
  return *hostKey == '\0';
}

}  // namespace

const HostValue& InputMember(const HostValue& input, std::string_view key) {
  static const HostValue kNone{};
  if (input.kind != kHostStructure || input.structure.entries == nullptr) return kNone;
  // The last entry of a key is the one a property keeps.
  for (uint32_t i = input.structure.count; i-- > 0;) {
    const HostMemberEntry& entry = input.structure.entries[i];
    if (KeyEquals(entry.key != nullptr ? entry.key : "", key)) return entry.value;
  }
  return kNone;
}

}  // namespace Halden
