#include "plugin/plugin_name.h"

#include "logging/log_system.h"
#include "util/format.h"

namespace Halden {

std::string GetFullNameFromShortNameAndType(const std::string& shortName, const std::string& type) {
  if (type == "backend") return "zvm-be-" + shortName;
  if (type == "frontend") return "zvm-fe-" + shortName;
  std::string message =
      FormatMessage("GetFullNameFromShortNameAndType(\"%1\", \"%2\") called with an unknown type",
                    shortName, type);
  Log(kLogError, kGroupDebug, "            Plugin Manager| %s", message.c_str());
  return "zvm-xx-" + shortName;
}

PluginName MakePluginName(const std::string& shortName, const std::string& type) {
  return {GetFullNameFromShortNameAndType(shortName, type), shortName, type};
}

}  // namespace Halden
