// The base of every failure of the JSON document model.
#pragma once

#include <stdexcept>

namespace Halden::json {

// Thrown by the document model itself (a duplicate object member) and the
// base of the reader's scan and parse exceptions, so one handler catches all.
class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace Halden::json
