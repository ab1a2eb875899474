// The plugin API version negotiated with the host at registration.
#pragma once

#include <cstdint>
#include <string>

namespace Halden {

struct PluginApiVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t patch = 0;
  std::string preRelease;
  std::string build;

  // "major.minor.patch", then "-preRelease" and "+build" when they are set.
  std::string ToText() const;
};

// The version this plugin is built against.
PluginApiVersion SupportedPluginApiVersion();

// A core can host the plugin when the majors are equal and the core's
// (minor, patch) is not older than the plugin's.
bool IsCompatibleCore(const PluginApiVersion& core, const PluginApiVersion& plugin);

// Lets the positional formatter print a version as text.
inline std::string ToFormatText(const PluginApiVersion& version) { return version.ToText(); }

}  // namespace Halden
