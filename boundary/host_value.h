// HostValue: the tagged value in which every payload crosses the host
// boundary. Packed; 12 bytes in the 32-bit build (string and blob payloads
// are a pointer followed by a 32-bit length).
#pragma once

#include <cstddef>
#include <cstdint>

namespace Halden {

enum HostValueKind : int32_t {
  kHostNone = 0,
  kHostBool = 1,
  kHostSigned = 2,
  kHostUnsigned = 3,
  kHostFloat = 4,
  kHostStringBorrowed = 5,
  kHostStringOwned = 6,
  kHostBlobBorrowed = 7,
  kHostBlobOwned = 8,
  kHostCollection = 9,
  kHostStructure = 10,
};

struct HostMemberEntry;

#pragma pack(push, 1)

struct HostValue {
  int32_t kind;
  union {
    uint8_t boolean;
    int64_t signedValue;
    uint64_t unsignedValue;
    double floatValue;
    struct {
      const char* data;
      uint32_t length;
    } text;
    struct {
      const uint8_t* data;
      uint32_t length;
    } blob;
    struct {
      HostValue* elements;
      uint32_t count;
    } collection;
    struct {
      HostMemberEntry* entries;
      uint32_t count;
    } structure;
  };
};

// One member of a structure value: the key, the value, and whether the key
// text is owned by the value (and freed with it).
struct HostMemberEntry {
  const char* key;
  HostValue value;
  uint8_t keyOwned;
};

#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(HostValue) == 12);
static_assert(sizeof(HostMemberEntry) == 17);
#else
static_assert(sizeof(HostValue) == 16);
#endif
static_assert(offsetof(HostValue, signedValue) == 4);

// Frees what the value owns (owned texts and blobs, arrays of elements and
// members, owned keys), recursively; leaves it kind 0 with a zero payload.
void ReleaseHostValue(HostValue& value) noexcept;

// "bool", "signed", "unsigned", "float", "string", "blob", "collection",
// "structure"; the empty text for any other kind.
const char* HostKindName(int32_t kind);

}  // namespace Halden
