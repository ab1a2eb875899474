// The API table handed to the host at registration: one entry per endpoint
// function, each describing the function and carrying the callback through
// which the host calls it. Packed and laid out for a 32-bit build, like every
// boundary record; texts and records stay owned by the plugin's dispatcher.
#pragma once

#include <cstddef>
#include <cstdint>

#include "boundary/api_description_records.h"
#include "boundary/host_interface.h"

namespace Halden {

// Parameter locations: where the dispatcher takes a parameter's value from.
inline constexpr uint32_t kLocationAny = 0;
inline constexpr uint32_t kLocationQuery = 1;
inline constexpr uint32_t kLocationPath = 2;
// No source; passed on to the host only.
inline constexpr uint32_t kLocationNone = 3;
inline constexpr uint32_t kLocationHeader = 4;
inline constexpr uint32_t kLocationBody = 5;

#pragma pack(push, 1)

// One per parameter, in parameter order.
struct ApiLocationRecord {
  const ApiLocationRecord* next;
  // 1 to 5 as registered, any other value as 0.
  uint32_t location;
};

// A list of texts passed to the host unchanged.
struct ApiTextListRecord {
  const ApiTextListRecord* next;
  const char* const* texts;
  uint32_t count;
};

struct ApiEndpointEntry {
  // The function's description, with its call context in `callContext`.
  ApiFunctionRecord function;
  ApiCallCallback callback;
  const ApiLocationRecord* locations;
  const char* pathTemplate;
  // 1 to 8, else 0 (any method).
  uint32_t method;
  uint8_t flag;
  const ApiTextListRecord* textLists;
  uint32_t textListCount;
  const char* methodName;
};

struct ApiTable {
  const ApiEndpointEntry* entries;
  uint32_t entryCount;
  const ApiTypeRecord* types;
  uint32_t typeCount;
  const ApiEventRecord* events;
  uint32_t eventCount;
};

#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ApiLocationRecord) == 8);
static_assert(sizeof(ApiTextListRecord) == 12);
static_assert(sizeof(ApiEndpointEntry) == 90);
static_assert(offsetof(ApiEndpointEntry, callback) == 61);
static_assert(offsetof(ApiEndpointEntry, locations) == 65);
static_assert(offsetof(ApiEndpointEntry, pathTemplate) == 69);
static_assert(offsetof(ApiEndpointEntry, method) == 73);
static_assert(offsetof(ApiEndpointEntry, flag) == 77);
static_assert(offsetof(ApiEndpointEntry, textLists) == 78);
static_assert(offsetof(ApiEndpointEntry, textListCount) == 82);
static_assert(offsetof(ApiEndpointEntry, methodName) == 86);
static_assert(sizeof(ApiTable) == 24);
#endif

}  // namespace Halden
