// A plugin's names: the short name it registers under, its type and the
// full name its library file bears.
#pragma once

#include <string>

namespace Halden {

struct PluginName {
  std::string fullName;
  std::string shortName;
  std::string type;
};

// The short name behind the prefix of its type ("backend" gives "zvm-be-",
// "frontend" "zvm-fe-"). An unknown type logs an error and gets "zvm-xx-".
std::string GetFullNameFromShortNameAndType(const std::string& shortName, const std::string& type);

PluginName MakePluginName(const std::string& shortName, const std::string& type);

}  // namespace Halden
