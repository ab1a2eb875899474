#include "plugin/plugin.h"

#include <cstring>

#include "api/camel_case_name.h"
#include "binding/property_arena.h"
#include "binding/registry.h"
#include "logging/assertion_report.h"
#include "logging/log_system.h"
#include "logging/plugin_log_target.h"
#include "logging/trace.h"
#include "platform/platform.h"
#include "plugin/memory_stats.h"
#include "plugin/runtime_types.h"
#include "util/format.h"

#if defined(__GLIBCXX__)
// Frees the C++ runtime's reserve for exceptions thrown when memory runs out,
// which it takes when the library loads and never gives back, not even when
// the library is unloaded. libstdc++ exports it for leak checkers without
// declaring it in a header.
namespace __gnu_cxx {
void __freeres() noexcept;
}
#endif

namespace Halden {

Plugin::Plugin()
    : types(std::make_unique<BindingRegistry>()),
      dispatcher(std::make_unique<ApiDispatcher>(*types)) {
  LogSystem().AddRef();
  callbacks.Initialize = &InitializeShim;
  callbacks.Shutdown = &ShutdownShim;
  callbacks.GetMemoryStats = &GetMemoryStatsShim;
}

Plugin::~Plugin() {
  dispatcher.reset();
  types.reset();
  logTarget.reset();
  LogSystem().Release();
}

void Plugin::Register(Plugin* plugin, PluginRegistration* registration,
                      const std::string& shortName) {
  PluginApiVersion core{
      registration->coreMajor, registration->coreMinor, registration->corePatch, {}, {}};
  PluginApiVersion own = SupportedPluginApiVersion();
  if (!IsCompatibleCore(core, own)) {
    std::string reason =
        FormatMessage("%1 which supports plugin API %2 is not compatible with core's plugin API %3",
                      shortName, own, core);
    Log(kLogError, kGroupDebug, "%s", reason.c_str());
    RaiseFatalAssertion("ALE-EECF0606", "", 0, "", "");
    platform::AbortProcess();
  }
  plugin->coreVersion = core;
  plugin->name = MakePluginName(shortName, "backend");
  plugin->documentationTags = {"Plugins", "Plugin " + shortName};
  plugin->typeNamePrefix = CamelCaseName("", shortName);
  RegisterRuntimeTypes(*plugin->types);
  plugin->UseRegistry(plugin->types.get());
  plugin->RegisterApi();
  const ApiTable* table = plugin->dispatcher->BuildApiTable();

  registration->pluginMajor = own.major;
  registration->pluginMinor = own.minor;
  registration->pluginPatch = own.patch;
  registration->callbacks = &plugin->callbacks;
  registration->instance = plugin;
  registration->shortName = plugin->name.shortName.c_str();
  registration->apiTable = table;
}

bool Plugin::Initialize(const HostApi* api) {
  if (api == nullptr || api->functions == nullptr) return false;
  hostApi = api;
  const LogSystemApi& logging = LogSystem();
  // Only the first plugin of the process takes over the logging configuration.
  if (logging.FindTarget("PluginLogTarget") == nullptr) {
    logging.GetStdOutTarget()->Detach();
    logging.GetStdErrTarget()->Detach();
    logging.GetDebuggerTarget()->Detach();
    logging.SetMinimumLevel(kLogOkay);
    logging.SetMutedGroups(4);
    logTarget = std::make_unique<PluginLogTarget>(api->functions);
    logTarget->Configure(logging.GetMinimumLevel(), 0, 0, "#D| #L| #G| #M");
  }
  std::string agent = FormatMessage("HaldenClient/%1 (%2)", coreVersion, name.shortName);
  Connect(api->hostToken, name.shortName, agent);
  return Start();
}

uint8_t ZVM_CDECL Plugin::InitializeShim(void* instance, const HostApi* api) {
  if (instance == nullptr) return 0;
  try {
    return static_cast<Plugin*>(instance)->Initialize(api) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

void ZVM_CDECL Plugin::ShutdownShim(void* instance) {
  if (instance == nullptr) return;
  auto* plugin = static_cast<Plugin*>(instance);
  try {
    plugin->Stop();
  } catch (...) {
  }
  try {
    // Local calls the host made before shutting down end first.
    plugin->Dispatcher().WaitForCalls();
    delete plugin;
    // The library may be unloaded next: nothing kept for later trees stays,
    // nor the runtime's reserve for throwing out of memory, since none of
    // the library's code is to run after Shutdown.
    PropertyArena::ReleaseKeptMemory();
#if defined(__GLIBCXX__)
    __gnu_cxx::__freeres();
#endif
  } catch (...) {
  }
}

void ZVM_CDECL Plugin::GetMemoryStatsShim(void*, uint64_t* out) {
  if (out == nullptr) return;
  MemoryStats stats = ReadMemoryStats();
  std::memcpy(out, &stats, sizeof stats);
}

void Plugin::HostRequest(JsonApiResponse* response, const JsonApiRequest* request) {
  const HostApi* api = hostApi.load();
  if (api == nullptr) {
    response->errorText = kNotInitialized;
    return;
  }
  api->functions->Request(api->functions, response, request);
}

void Plugin::HostExternalRequest(ExternalResponseRecord* response,
                                 const ExternalRequestRecord* request) {
  const HostApi* api = hostApi.load();
  if (api == nullptr) {
    response->transport = -1;
    response->body = kNotInitialized;
    response->bodyLength = static_cast<uint32_t>(std::strlen(kNotInitialized));
    return;
  }
  api->functions->ExternalRequest(api->functions, response, request);
}

void Plugin::HostSendEvent(const HostEvent* event) {
  const HostApi* api = hostApi.load();
  if (api == nullptr) {
    Trace("%s: Couldn't send event %s: %s", name.shortName.c_str(), event->name, kNotInitialized);
    return;
  }
  api->functions->SendEvent(api->functions, event);
}

void Plugin::HostSubscribe(const char* eventName, uintptr_t token, HostEventCallback callback,
                           uintptr_t userData, uint32_t kind) {
  const HostApi* api = hostApi.load();
  if (api != nullptr) {
    api->functions->Subscribe(api->functions, eventName, token, callback, userData, kind);
  }
}

void Plugin::HostUnsubscribe(const char* eventName, uintptr_t token) {
  const HostApi* api = hostApi.load();
  if (api != nullptr) api->functions->Unsubscribe(api->functions, eventName, token);
}

void Plugin::HostReserved(uint32_t a, uint32_t b, uint32_t c, double d, uint32_t e) {
  const HostApi* api = hostApi.load();
  if (api != nullptr) api->functions->Reserved(api->functions, a, b, c, d, e);
}

void Plugin::HostYield() {
  const HostApi* api = hostApi.load();
  if (api != nullptr) api->functions->Yield(api->functions);
}

void Plugin::HostBeginWait(const char* label, uint32_t word) {
  const HostApi* api = hostApi.load();
  if (api != nullptr) api->functions->BeginWait(api->functions, label, word);
}

void Plugin::HostEndWait() {
  const HostApi* api = hostApi.load();
  if (api != nullptr) api->functions->EndWait(api->functions);
}

}  // namespace Halden
