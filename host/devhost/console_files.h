// The development host's web console: the page at "/" and its files under
// "/console/", read from the console directory (host/devhost/console/) at
// each request, so that an edited file shows at the next reload.
#pragma once

#include <httplib.h>

#include <string>

namespace Halden::devhost {

// What the console's answers carry: the page loads only its own files and
// talks only to its own origin, submits no form by itself and is framed by
// no one.
inline constexpr const char* kConsoleSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

// Answers with the file `name` of `directory`, with its content type and
// the policy above. Only flat names of the kinds the console ships are
// served: lower-case letters, digits, "-" and "_", then ".html", ".css",
// ".js" or ".svg"; any other name, and a file that cannot be read, is
// answered 404 with a JSON message.
void ServeConsoleFile(const std::string& directory, const std::string& name,
                      httplib::Response& response);

}  // namespace Halden::devhost
