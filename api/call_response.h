// Filling the host's response record from a call result, and giving back
// what was put into it.
#pragma once

#include <cstdint>
#include <string>

#include "api/api_response.h"
#include "boundary/host_interface.h"

namespace Halden {

class BindingRegistry;

// Fills `response` from `result`: an error becomes the response's error text
// (and error flag); a host tree written already becomes the body (taken from
// `result`); a value is converted into the body tree (enumerations by name
// through `registry`), a value nested too deeply to cross gives status 400
// and an error. Then the kind word, the status, the content type (empty when
// none), the header pairs and, when there is one, the body stream with its
// read and close functions. Everything written is owned by the response
// until the host calls its release function (ReleaseCallResponse).
void WriteCallResponse(JsonApiResponse& response, ApiResponse& result,
                       const BindingRegistry* registry);

// Makes `response` an error with `status` and `message`, after releasing
// whatever an earlier write put into it. Never throws: when even the copy of
// the message cannot be made, a fixed text takes its place.
void WriteCallError(JsonApiResponse& response, uint32_t status,
                    const std::string& message) noexcept;

// The release function the plugin puts into its responses: frees the body
// tree, the texts, the header pairs and the stream, and clears their fields,
// so that a second call finds nothing to free.
void ZVM_CDECL ReleaseCallResponse(JsonApiResponse* response);

}  // namespace Halden
