// Loading a shared library into the process and finding its exports: dlopen
// on POSIX, LoadLibraryA on Windows.
#pragma once

#include <string>

namespace Halden::platform {

// Loads the library at `path` for the rest of the process (a loaded plugin is
// never unloaded); loading the same path again returns the same library.
// Null with `error` set to the system's reason when it cannot be loaded.
void* LoadSharedLibrary(const std::string& path, std::string& error);

// The address of the export `name` of a loaded library; null when it has
// none of that name.
void* FindExport(void* library, const char* name);

}  // namespace Halden::platform
