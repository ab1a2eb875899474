// The flat records and function tables exchanged with the host process.
// Every record is packed and laid out for a 32-bit build; the same sources
// build natively with pointer-sized fields widened.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define ZVM_CDECL __cdecl
#else
#define ZVM_CDECL
#endif

namespace Halden {

struct HostFunctions;
struct HostEvent;
struct JsonApiRequest;
struct JsonApiResponse;
struct ExternalRequestRecord;
struct ExternalResponseRecord;

#pragma pack(push, 1)

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
  void(ZVM_CDECL* Reserved)(const HostFunctions* self, uint32_t a, uint32_t b, uint32_t c,
                            double d, uint32_t e);
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
#endif

}  // namespace Halden
