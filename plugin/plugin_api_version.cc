#include "plugin/plugin_api_version.h"

#include <tuple>

#include "util/format.h"

namespace Halden {

std::string PluginApiVersion::ToText() const {
  std::string text = FormatMessage("%1.%2.%3", major, minor, patch);
  if (!preRelease.empty()) text += "-" + preRelease;
  if (!build.empty()) text += "+" + build;
  return text;
}

PluginApiVersion SupportedPluginApiVersion() { return {18, 0, 0, {}, {}}; }

bool IsCompatibleCore(const PluginApiVersion& core, const PluginApiVersion& plugin) {
  return core.major == plugin.major &&
         std::tie(core.minor, core.patch) >= std::tie(plugin.minor, plugin.patch);
}

}  // namespace Halden
