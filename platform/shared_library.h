// Loading a shared library into the process, finding its exports and
// unloading it: dlopen on POSIX, LoadLibraryA on Windows.
#pragma once

#include <string>

namespace Halden::platform {

// Loads the library at `path`; loading the same path again returns the same
// library, counted once more. Null with `error` set to the system's reason
// when it cannot be loaded.
void* LoadSharedLibrary(const std::string& path, std::string& error);

// Takes back one load of `library`; the last one unmaps it, so that the next
// load reads the file again. Nothing of it may run or be referred to after.
void UnloadSharedLibrary(void* library);

// The address of the export `name` of a loaded library; null when it has
// none of that name.
void* FindExport(void* library, const char* name);

}  // namespace Halden::platform
