#include "api/api_response.h"

namespace Halden {

ApiResponse ApiResponse::Error(uint32_t status, const std::string& message) {
  ApiResponse response;
  response.result.SetError(message);
  response.status = status;
  return response;
}

}  // namespace Halden
