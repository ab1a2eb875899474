#include "boundary/host_value.h"

#include <cstring>

namespace Halden {

void ReleaseHostValue(HostValue& value) noexcept {
  switch (value.kind) {
    case kHostStringOwned:
      delete[] value.text.data;
      break;
    case kHostBlobOwned:
      delete[] value.blob.data;
      break;
    case kHostCollection:
      for (uint32_t i = 0; i < value.collection.count; ++i) {
        ReleaseHostValue(value.collection.elements[i]);
      }
      delete[] value.collection.elements;
      break;
    case kHostStructure:
      for (uint32_t i = 0; i < value.structure.count; ++i) {
        HostMemberEntry& entry = value.structure.entries[i];
        if (entry.keyOwned) delete[] entry.key;
        ReleaseHostValue(entry.value);
      }
      delete[] value.structure.entries;
      break;
    default:
      break;
  }
  std::memset(static_cast<void*>(&value), 0, sizeof value);
}

const char* HostKindName(int32_t kind) {
  switch (kind) {
    case kHostBool:
      return "bool";
    case kHostSigned:
      return "signed";
    case kHostUnsigned:
      return "unsigned";
    case kHostFloat:
      return "float";
    case kHostStringBorrowed:
    case kHostStringOwned:
      return "string";
    case kHostBlobBorrowed:
    case kHostBlobOwned:
      return "blob";
    case kHostCollection:
      return "collection";
    case kHostStructure:
      return "structure";
    default:
      return "";
  }
}

}  // namespace Halden
