// Carries the plugin's external requests over real HTTP, as the client's
// core does.
#pragma once

#include "host/host_records.h"

namespace Halden::devhost {

// Sends `call` with its method, headers and body, waiting at most the
// plugin's time-out, `call.timeout` seconds times `timeoutScale`, to
// connect, and as long for each read and write (a time-out of 0 keeps the
// HTTP library's defaults); redirects are not followed. An answer of any
// status is handed back with its headers and body. When no answer came, the
// transport code is the HTTP library's error number (1 and up) and the body
// says what went wrong: "Could not establish connection", "No answer within
// 30 s", "Unsupported URL ...".
host::ExternalAnswer CarryExternalRequest(const host::ExternalCall& call, double timeoutScale = 1);

}  // namespace Halden::devhost
