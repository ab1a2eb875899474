// Standard Base64 (alphabet A-Z a-z 0-9 + /, "=" padding), the text form of
// blobs in property text and in JSON.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace Halden {

std::string Base64Encode(std::span<const uint8_t> bytes);

}  // namespace Halden
