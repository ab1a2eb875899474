// Writing a host value tree as JSON text.
#pragma once

#include <string>

#include "boundary/host_value.h"

namespace Halden {

// Writes `value` as compact JSON into `json`, as PropertyToJson writes the
// property HostValueToProperty makes of it (without a registry): the same
// text, but straight from the host's tree when its structures' keys come in
// key order, once each, as the plugin writes them. False, with `json`
// empty, when the tree does not convert (HostValueToProperty refuses it).
bool HostValueToJson(const HostValue& value, std::string& json);

}  // namespace Halden
