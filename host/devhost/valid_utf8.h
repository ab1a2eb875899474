// Text from the network made fit for a JSON reply: paths, header values and
// stored addresses may hold any bytes, and a JSON text must be UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace Halden::devhost {

// `text` with every byte that does not begin or continue a well-formed UTF-8
// sequence (a stray continuation byte, a truncated or overlong sequence, a
// surrogate, a code point past U+10FFFF) replaced by U+FFFD, one per
// maximal ill-formed part, as browsers decode. Valid text comes back as it
// is.
std::string ValidUtf8(std::string_view text);

}  // namespace Halden::devhost
