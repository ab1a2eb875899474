// What an endpoint handler returns to the dispatcher.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "binding/binding_result.h"
#include "boundary/owned_host_value.h"

namespace Halden {

// A response body the host reads in pieces rather than as one value.
class ResponseStream {
 public:
  virtual ~ResponseStream() = default;
  // Copies at most `*length` bytes into `buffer`, sets `*length` to the count
  // copied and `*moreData` to whether more follows. False on a read error.
  virtual bool Read(char* buffer, uint32_t* length, bool* moreData) = 0;
  // The whole body's length as far as it is known in advance, else 0.
  virtual uint32_t ExpectedLength() const = 0;
};

// The call result of an endpoint: the handler's value or its error (in
// `result`), or the value already written as the host's tree (`hostValue`,
// a typed handler's record), the response kind word and HTTP status handed
// to the host (0 when the handler sets none), a content type, response
// headers and an optional body stream.
struct ApiResponse {
  BindingResult result;
  OwnedHostValue hostValue;
  uint32_t kind = 0;
  uint32_t status = 0;
  std::string contentType;
  std::map<std::string, std::string> headers;
  std::shared_ptr<ResponseStream> stream;

  // The success without value or status that handlers return when they have
  // nothing to say.
  static ApiResponse Ok() { return {}; }
  // A failure with the HTTP status the handler chose and its message.
  static ApiResponse Error(uint32_t status, const std::string& message);

  bool IsError() const { return !result.Ok(); }
};

}  // namespace Halden
