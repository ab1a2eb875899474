#include <windows.h>

#include "platform/shared_library.h"

namespace Halden::platform {

void* LoadSharedLibrary(const std::string& path, std::string& error) {
  HMODULE library = LoadLibraryA(path.c_str());
  if (library == nullptr) {
    error = path + ": cannot be loaded (system error " + std::to_string(GetLastError()) + ")";
  }
  return library;
}

void UnloadSharedLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

void* FindExport(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace Halden::platform
