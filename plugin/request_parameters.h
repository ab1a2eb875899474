// Named values sent with a request, converted to host values on the way.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "binding/property.h"

namespace Halden {

using RequestParameters = std::vector<std::pair<std::string, BindingProperty>>;

}  // namespace Halden
