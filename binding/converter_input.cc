#include "binding/converter_input.h"

namespace Halden {

const HostValue& InputMember(const HostValue& input, std::string_view key) {
  static const HostValue kNone{};
  if (input.kind != kHostStructure || input.structure.entries == nullptr) return kNone;
  // The last entry of a key is the one a property keeps.
  for (uint32_t i = input.structure.count; i-- > 0;) {
    const HostMemberEntry& entry = input.structure.entries[i];
    if (InputKeyEquals(entry.key, key)) return entry.value;
  }
  return kNone;
}

}  // namespace Halden
