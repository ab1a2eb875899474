// Method codes of endpoint functions and incoming calls, as the host passes
// them, and their names.
#pragma once

#include <cstdint>
#include <string_view>

namespace Halden {

// No method: an endpoint function registered with it accepts every method.
inline constexpr std::uint32_t kMethodAny = 0;
inline constexpr std::uint32_t kMethodDelete = 1;
inline constexpr std::uint32_t kMethodGet = 2;
inline constexpr std::uint32_t kMethodHead = 3;
inline constexpr std::uint32_t kMethodOptions = 4;
inline constexpr std::uint32_t kMethodPatch = 5;
inline constexpr std::uint32_t kMethodPost = 6;
inline constexpr std::uint32_t kMethodPut = 7;
// A method named by text, which the call carries alongside the code.
inline constexpr std::uint32_t kMethodNamed = 8;

// "DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST" or "PUT" for the codes 1
// to 7; the empty text for every other code. The text is static.
const char* MethodName(std::uint32_t code);

// The code MethodName gives `name`; 0 for any other text.
std::uint32_t MethodCode(std::string_view name);

}  // namespace Halden
