// The flat records through which the host learns the plugin's API: one per
// function, argument, type, field, enumerator and event. Packed and linked
// through their `next` pointers, so each array is also a list; every text is
// a NUL-terminated string owned by the plugin.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Halden {

#pragma pack(push, 1)

struct ApiArgumentRecord {
  const ApiArgumentRecord* next;
  const char* name;
  const char* description;
  uint32_t typeCode;
  uint32_t elementCode;
  const char* typeName;
  uint8_t optional;
};

struct ApiFunctionRecord {
  const ApiFunctionRecord* next;
  uint32_t reserved;
  // The API table stores the function's call context here.
  uintptr_t callContext;
  const char* name;
  const char* nameSpace;
  const ApiArgumentRecord* arguments;
  uint32_t argumentCount;
  uint32_t resultTypeCode;
  uint32_t resultElementCode;
  const char* resultTypeName;
  const char* description;
  const char* help;
  uint8_t threadSafe;
  // The result record's name for an asynchronous function, else "".
  const char* async;
  const char* const* tags;
  uint32_t tagCount;
};

struct ApiFieldRecord {
  const ApiFieldRecord* next;
  const char* name;
  const char* description;
  uint32_t offset;
  uint32_t typeCode;
  uint32_t elementCode;
  const char* typeName;
  uint8_t optional;
};

struct ApiEnumeratorRecord {
  const ApiEnumeratorRecord* next;
  const char* name;
  const char* description;
  int32_t value;
};

struct ApiTypeRecord {
  const ApiTypeRecord* next;
  const char* name;
  const char* nameSpace;
  uint32_t size;
  const char* description;
  const char* const* tags;
  uint32_t tagCount;
  // Set only when the type has fields.
  const ApiFieldRecord* fields;
  // Set only when the type has no fields.
  const ApiEnumeratorRecord* enumerators;
  // Fields when there are any, otherwise enumerators.
  uint32_t count;
};

struct ApiEventRecord {
  const ApiEventRecord* next;
  const char* name;
  const char* nameSpace;
  const char* typeName;
  const char* description;
  const char* const* tags;
  uint32_t tagCount;
};

struct ApiDescription {
  const ApiFunctionRecord* functions;
  uint32_t functionCount;
  const ApiTypeRecord* types;
  uint32_t typeCount;
  const ApiEventRecord* events;
  uint32_t eventCount;
};

#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ApiArgumentRecord) == 25);
static_assert(sizeof(ApiFunctionRecord) == 61);
static_assert(offsetof(ApiFunctionRecord, callContext) == 8);
static_assert(offsetof(ApiFunctionRecord, threadSafe) == 48);
static_assert(offsetof(ApiFunctionRecord, async) == 49);
static_assert(offsetof(ApiFunctionRecord, tagCount) == 57);
static_assert(sizeof(ApiFieldRecord) == 29);
static_assert(sizeof(ApiEnumeratorRecord) == 16);
static_assert(sizeof(ApiTypeRecord) == 40);
static_assert(sizeof(ApiEventRecord) == 28);
static_assert(sizeof(ApiDescription) == 24);
#endif

}  // namespace Halden
