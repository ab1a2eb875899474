#include "host/in_process_host.h"

#include "platform/shared_library.h"

namespace Halden::host {

InProcessHost::InProcessHost() {
  table.host = this;
  HostFunctions& f = table.functions;
  f.Request = [](const HostFunctions* self, JsonApiResponse*, const JsonApiRequest*) {
    From(self).Record("Request");
  };
  f.ExternalRequest = [](const HostFunctions* self, ExternalResponseRecord*,
                         const ExternalRequestRecord*) { From(self).Record("ExternalRequest"); };
  f.SendEvent = [](const HostFunctions* self, const HostEvent*) { From(self).Record("SendEvent"); };
  f.Subscribe = [](const HostFunctions* self, const char*, uintptr_t, HostEventCallback, uintptr_t,
                   uint32_t) { From(self).Record("Subscribe"); };
  f.Unsubscribe = [](const HostFunctions* self, const char*, uintptr_t) {
    From(self).Record("Unsubscribe");
  };
  f.Reserved = [](const HostFunctions* self, uint32_t, uint32_t, uint32_t, double, uint32_t) {
    From(self).Record("Reserved");
  };
  f.Yield = [](const HostFunctions* self) { From(self).Record("Yield"); };
  f.BeginWait = [](const HostFunctions* self, const char*, uint32_t) {
    From(self).Record("BeginWait");
  };
  f.EndWait = [](const HostFunctions* self) { From(self).Record("EndWait"); };
  f.Log = [](const HostFunctions* self, uint32_t level, const char* message) {
    InProcessHost& host = From(self);
    std::lock_guard guard(host.lock);
    host.calls.emplace_back("Log");
    host.lines.push_back({level, message});
  };
}

// Like the client's core, the host keeps a loaded library until the process
// ends; loading the same path again reuses it.
InProcessHost::~InProcessHost() { Shutdown(); }

InProcessHost& InProcessHost::From(const HostFunctions* self) {
  // The function table is the first member of the host's table record.
  return *reinterpret_cast<const Table*>(self)->host;
}

void InProcessHost::Record(const char* call) {
  std::lock_guard guard(lock);
  calls.emplace_back(call);
}

bool InProcessHost::Load(const std::string& path, uint32_t major, uint32_t minor, uint32_t patch) {
  library = platform::LoadSharedLibrary(path, error);
  if (library == nullptr) return false;
  auto load =
      reinterpret_cast<Export>(platform::FindExport(library, "load_qor_email_verification"));
  if (load == nullptr) {
    error = "load_qor_email_verification not exported";
    return false;
  }
  return Register(load, major, minor, patch);
}

bool InProcessHost::Register(Export load, uint32_t major, uint32_t minor, uint32_t patch) {
  registration = {};
  registration.coreMajor = major;
  registration.coreMinor = minor;
  registration.corePatch = patch;
  load(&registration);
  if (registration.instance == nullptr || registration.callbacks == nullptr) {
    error = "registration failed";
    return false;
  }
  return true;
}

bool InProcessHost::Initialize(uintptr_t hostToken) {
  api.functions = &table.functions;
  api.hostToken = hostToken;
  initialized = registration.callbacks->Initialize(registration.instance, &api) != 0;
  return initialized;
}

std::vector<uint64_t> InProcessHost::GetMemoryStats() {
  std::vector<uint64_t> stats(7);
  registration.callbacks->GetMemoryStats(registration.instance, stats.data());
  return stats;
}

void InProcessHost::Shutdown() {
  if (shutDown || registration.instance == nullptr) return;
  shutDown = true;
  registration.callbacks->Shutdown(registration.instance);
}

std::vector<std::string> InProcessHost::Calls() const {
  std::lock_guard guard(lock);
  return calls;
}

std::vector<LoggedLine> InProcessHost::Lines() const {
  std::lock_guard guard(lock);
  return lines;
}

}  // namespace Halden::host
