// What keeps web pages away from a server on the loopback address. Every
// page the developer has open can send requests to 127.0.0.1; two rules
// refuse the ones that do not come from our own origin:
//   - DNS rebinding: a page of a foreign name that resolves to 127.0.0.1
//     sends its own name in the Host header. Only "127.0.0.1:<port>" and
//     "localhost:<port>" (any case) are ours; a request without exactly one
//     Host header is refused too.
//   - Cross-site requests: a foreign page may send PUT, POST, DELETE or
//     PATCH (and any request to the host's control endpoints under /_host/
//     or to its event stream /events). A browser marks such a request
//     "Sec-Fetch-Site: cross-site" (or "same-site", for another port of the
//     same machine), even where it sends no Origin header, as for an image
//     or a script; those two are refused. When an Origin header is there it
//     must be "http://127.0.0.1:<port>" or "http://localhost:<port>"; "null"
//     is not ours either.
// Reading methods from foreign origins pass: the browser keeps their
// answers from the page, since the host sends no CORS headers.
#pragma once

#include <httplib.h>

#include <string>

namespace Halden::devhost {

// The reason to refuse `request` on a server listening on `port`; the
// empty text when it may pass.
std::string LoopbackRefusal(const httplib::Request& request, int port);

}  // namespace Halden::devhost
