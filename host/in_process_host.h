// Our stand-in for the client's core: loads the plugin library, registers
// it, implements the host function table (recording every call and every
// logged line) and drives the plugin's lifecycle callbacks.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "boundary/host_interface.h"

namespace Halden::host {

struct LoggedLine {
  uint32_t level;
  std::string message;
};

class InProcessHost {
 public:
  InProcessHost();
  ~InProcessHost();
  InProcessHost(const InProcessHost&) = delete;
  InProcessHost& operator=(const InProcessHost&) = delete;

  // Loads the library at `path` and calls its export with a registration
  // record carrying the core's version. False with Error() set on failure.
  bool Load(const std::string& path, uint32_t major = 18, uint32_t minor = 0, uint32_t patch = 0);
  // Registers through an export already in this process (for tests).
  using Export = void(ZVM_CDECL*)(PluginRegistration* registration);
  bool Register(Export load, uint32_t major = 18, uint32_t minor = 0, uint32_t patch = 0);
  const std::string& Error() const { return error; }
  const PluginRegistration& Registration() const { return registration; }

  bool Initialize(uintptr_t hostToken = 0x5eed);
  // Seven counters: peak bytes, live blocks, bytes allocated, allocations,
  // bytes freed, frees, 0.
  std::vector<uint64_t> GetMemoryStats();
  void Shutdown();

  // Names of the host functions the plugin called, in call order.
  std::vector<std::string> Calls() const;
  std::vector<LoggedLine> Lines() const;

 private:
  struct Table {
    HostFunctions functions;
    InProcessHost* host;
  };
  static InProcessHost& From(const HostFunctions* self);
  void Record(const char* call);

  void* library = nullptr;
  PluginRegistration registration{};
  Table table{};
  HostApi api{};
  bool initialized = false;
  bool shutDown = false;
  std::string error;
  mutable std::mutex lock;
  std::vector<std::string> calls;
  std::vector<LoggedLine> lines;
};

}  // namespace Halden::host
