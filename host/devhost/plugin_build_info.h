// The build information zvm_add_plugin puts into a plugin library for Linux:
// the section .zvm_build_info of its ELF file, lines of "key=value" with the
// keys "version", "commit" and "build" (the build type).
#pragma once

#include <map>
#include <string>

namespace Halden::devhost {

// The keys and values of that section of the 64-bit ELF file at `path`.
// False with `error` set when the file cannot be read, is no 64-bit ELF file
// or has no such section.
bool ReadPluginBuildInfo(const std::string& path, std::map<std::string, std::string>& info,
                         std::string& error);

}  // namespace Halden::devhost
