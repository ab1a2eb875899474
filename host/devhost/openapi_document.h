// The OpenAPI 3.1 document of a plugin, rendered from the host API
// description in its API table: one operation per endpoint entry (under
// each of the seven methods for an entry that takes any method; entries of
// a method named by text are left out, since OpenAPI 3.1 has no such
// methods), its parameters where the dispatcher takes them from, its body,
// its result, and every registered record and enumeration as a schema under
// components; every event the plugin declares is a webhook whose POST
// carries the event's record.
#pragma once

#include <string>

#include "boundary/host_interface.h"

namespace Halden::devhost {

// The schema every error answer of the host follows: {"message", "status"}.
inline constexpr const char* kErrorSchemaName = "HostCallError";

// The document as pretty JSON, for a plugin registered with `registration`
// and served at `serverUrl`.
std::string RenderOpenApi(const PluginRegistration& registration, const std::string& serverUrl);

}  // namespace Halden::devhost
