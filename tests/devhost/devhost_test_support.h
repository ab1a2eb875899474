#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "binding/property.h"
#include "formats/property_to_json.h"
#include "host/devhost/connection_reader.h"

namespace Halden::devhost {

// One worker; a request comes whole within `timeout`; a connection serves `requests`.
inline ReaderSettings Settings(std::chrono::milliseconds timeout, std::size_t requests = 100) {
  return {{1 << 17, 10, 1 << 17, 0}, 1, timeout, requests, 8, 0};
}

inline std::string Json(const BindingProperty& value) {
  return PropertyToJson(value, nullptr, nullptr);
}

}  // namespace Halden::devhost
