#include <dlfcn.h>

#include "platform/shared_library.h"

namespace Halden::platform {

void* LoadSharedLibrary(const std::string& path, std::string& error) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) error = dlerror();
  return library;
}

void UnloadSharedLibrary(void* library) { dlclose(library); }

void* FindExport(void* library, const char* name) { return dlsym(library, name); }

}  // namespace Halden::platform
