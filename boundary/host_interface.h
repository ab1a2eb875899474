// The flat records and function tables exchanged with the host process.
// Every record is packed and laid out for a 32-bit build; the same sources
// build natively with pointer-sized fields widened.
#pragma once

#include <cstddef>
#include <cstdint>

#include "boundary/host_value.h"

#if defined(_WIN32) && !defined(_WIN64)
#define ZVM_CDECL __cdecl
#else
#define ZVM_CDECL
#endif

namespace Halden {

struct HostFunctions;

#pragma pack(push, 1)

// A name with a value, as request parameters and explicit call arguments
// carry them.
struct HostParameter {
  const char* name;
  HostValue value;
};

struct HostHeaderPair {
  const char* name;
  const char* value;
};

// A request to the host's local JSON API.
struct JsonApiRequest {
  uint32_t method;
  const char* url;
  const HostParameter* parameters;
  uint32_t parameterCount;
  uint8_t reserved[24];
  uintptr_t hostToken;
  uint32_t reservedWord;
};

struct JsonApiResponse;
using StreamReadFunction = bool(ZVM_CDECL*)(void* handle, char* buffer, uint32_t* length,
                                            bool* moreData);
using StreamCloseFunction = void(ZVM_CDECL*)(void* handle);
using JsonApiReleaseFunction = void(ZVM_CDECL*)(JsonApiResponse* response);

// The answer to a JSON API request, and the plugin's answer to a local call.
// Whoever fills it puts its release function into it.
struct JsonApiResponse {
  HostValue body;
  const char* errorText;
  uint8_t errorFlag;
  uint32_t kind;
  uint8_t reserved;
  uint32_t status;
  const char* contentType;
  const HostHeaderPair* headers;
  uint32_t headerCount;
  StreamReadFunction streamRead;
  StreamCloseFunction streamClose;
  uint32_t expectedLength;
  uint32_t reservedWord;
  void* streamHandle;
  JsonApiReleaseFunction release;
};

// A request to an external HTTP server, carried by the host.
struct ExternalRequestRecord {
  uint32_t method;
  const char* url;
  const HostHeaderPair* headers;
  uint32_t headerCount;
  const char* body;
  uint32_t bodyLength;
  uint32_t timeout;
  uint32_t further;
};

struct ExternalResponseRecord;
using ExternalReleaseFunction = void(ZVM_CDECL*)(ExternalResponseRecord* response);

struct ExternalResponseRecord {
  int32_t transport;
  uint32_t status;
  const HostHeaderPair* headers;
  uint32_t headerCount;
  const char* body;
  uint32_t bodyLength;
  ExternalReleaseFunction release;
};

// A local call the host routes to one of the plugin's endpoints. In the
// 32-bit build it has the layout of JsonApiRequest: the request's reserved
// bytes are where a call carries its context, headers, content type and body.
struct ApiCallRecord {
  uint32_t method;
  // May carry a query after the first "?".
  const char* path;
  const HostParameter* arguments;
  uint32_t argumentCount;
  // The word of the endpoint's entry in the API table.
  uintptr_t callContext;
  const HostHeaderPair* headers;
  uint32_t headerCount;
  const char* contentType;
  const uint8_t* body;
  uint32_t bodyLength;
  // Handed to the endpoint's invoker unchanged.
  uintptr_t hostContext;
  // Read for method code 8, a method named by text.
  const char* methodName;
};

// The callback of an API table entry: fills `response` for `call`.
using ApiCallCallback = void(ZVM_CDECL*)(JsonApiResponse* response, const ApiCallRecord* call);

// An event as it crosses the boundary in either direction.
struct HostEvent {
  const char* name;
  HostValue payload;
  uint32_t kind;
  uintptr_t userData;
};

// Handed to the library's export. The host fills the core's version; the
// plugin fills everything after it.
struct PluginRegistration {
  uint32_t coreMajor;
  uint32_t coreMinor;
  uint32_t corePatch;
  uint32_t pluginMajor;
  uint32_t pluginMinor;
  uint32_t pluginPatch;
  const struct PluginCallbacks* callbacks;
  void* instance;
  const char* shortName;
  const void* apiTable;
};

// Called by the host, each with the plugin instance first.
struct PluginCallbacks {
  uint8_t(ZVM_CDECL* Initialize)(void* instance, const struct HostApi* api);
  void(ZVM_CDECL* Shutdown)(void* instance);
  // Writes seven unsigned 64-bit counters (56 bytes).
  void(ZVM_CDECL* GetMemoryStats)(void* instance, uint64_t* out);
};

struct HostApi {
  const HostFunctions* functions;
  // Opaque; passed back unchanged in every request and subscription.
  uintptr_t hostToken;
};

using HostEventCallback = void(ZVM_CDECL*)(const HostEvent* event);

// Offered by the host; each takes the table's own address first. No result
// is read.
struct HostFunctions {
  void(ZVM_CDECL* Request)(const HostFunctions* self, JsonApiResponse* response,
                           const JsonApiRequest* request);
  void(ZVM_CDECL* ExternalRequest)(const HostFunctions* self, ExternalResponseRecord* response,
                                   const ExternalRequestRecord* request);
  void(ZVM_CDECL* SendEvent)(const HostFunctions* self, const HostEvent* event);
  void(ZVM_CDECL* Subscribe)(const HostFunctions* self, const char* eventName, uintptr_t hostToken,
                             HostEventCallback callback, uintptr_t userData, uint32_t kind);
  void(ZVM_CDECL* Unsubscribe)(const HostFunctions* self, const char* eventName,
                               uintptr_t hostToken);
  void(ZVM_CDECL* Reserved)(const HostFunctions* self, uint32_t a, uint32_t b, uint32_t c, double d,
                            uint32_t e);
  void(ZVM_CDECL* Yield)(const HostFunctions* self);
  void(ZVM_CDECL* BeginWait)(const HostFunctions* self, const char* label, uint32_t word);
  void(ZVM_CDECL* EndWait)(const HostFunctions* self);
  void(ZVM_CDECL* Log)(const HostFunctions* self, uint32_t level, const char* message);
};

#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(PluginRegistration) == 40);
static_assert(offsetof(PluginRegistration, pluginMajor) == 12);
static_assert(offsetof(PluginRegistration, callbacks) == 24);
static_assert(offsetof(PluginRegistration, apiTable) == 36);
static_assert(sizeof(PluginCallbacks) == 12);
static_assert(sizeof(HostApi) == 8);
static_assert(offsetof(HostApi, hostToken) == 4);
static_assert(sizeof(HostFunctions) == 40);
static_assert(offsetof(HostFunctions, Subscribe) == 12);
static_assert(offsetof(HostFunctions, Yield) == 24);
static_assert(offsetof(HostFunctions, Log) == 36);
static_assert(sizeof(HostParameter) == 16);
static_assert(sizeof(HostHeaderPair) == 8);
static_assert(sizeof(JsonApiRequest) == 48);
static_assert(offsetof(JsonApiRequest, hostToken) == 40);
static_assert(sizeof(JsonApiResponse) == 62);
static_assert(offsetof(JsonApiResponse, errorText) == 12);
static_assert(offsetof(JsonApiResponse, errorFlag) == 16);
static_assert(offsetof(JsonApiResponse, kind) == 17);
static_assert(offsetof(JsonApiResponse, status) == 22);
static_assert(offsetof(JsonApiResponse, contentType) == 26);
static_assert(offsetof(JsonApiResponse, headers) == 30);
static_assert(offsetof(JsonApiResponse, headerCount) == 34);
static_assert(offsetof(JsonApiResponse, streamRead) == 38);
static_assert(offsetof(JsonApiResponse, streamClose) == 42);
static_assert(offsetof(JsonApiResponse, expectedLength) == 46);
static_assert(offsetof(JsonApiResponse, streamHandle) == 54);
static_assert(offsetof(JsonApiResponse, release) == 58);
static_assert(sizeof(ExternalRequestRecord) == 32);
static_assert(offsetof(ExternalRequestRecord, headers) == 8);
static_assert(offsetof(ExternalRequestRecord, body) == 16);
static_assert(offsetof(ExternalRequestRecord, timeout) == 24);
static_assert(offsetof(ExternalRequestRecord, further) == 28);
static_assert(sizeof(ExternalResponseRecord) == 28);
static_assert(offsetof(ExternalResponseRecord, headers) == 8);
static_assert(offsetof(ExternalResponseRecord, body) == 16);
static_assert(offsetof(ExternalResponseRecord, release) == 24);
static_assert(sizeof(ApiCallRecord) == 48);
static_assert(offsetof(ApiCallRecord, callContext) == 16);
static_assert(offsetof(ApiCallRecord, contentType) == 28);
static_assert(offsetof(ApiCallRecord, bodyLength) == 36);
static_assert(offsetof(ApiCallRecord, hostContext) == 40);
static_assert(offsetof(ApiCallRecord, methodName) == 44);
static_assert(sizeof(HostEvent) == 24);
static_assert(offsetof(HostEvent, payload) == 4);
static_assert(offsetof(HostEvent, kind) == 16);
static_assert(offsetof(HostEvent, userData) == 20);
#else
static_assert(sizeof(JsonApiRequest) == 60);
static_assert(sizeof(ApiCallRecord) == 80);
static_assert(sizeof(HostEvent) == 36);
#endif

}  // namespace Halden
