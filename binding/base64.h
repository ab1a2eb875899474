// Standard Base64 (alphabet A-Z a-z 0-9 + /, "=" padding), the text form of
// blobs in property text and in JSON.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Halden {

std::string Base64Encode(const std::vector<uint8_t>& bytes);

}  // namespace Halden
