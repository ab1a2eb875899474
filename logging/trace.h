// The runtime's diagnostic trace hook. It takes a printf-style format and its
// arguments and discards them: traces produce no output.
#pragma once

namespace Halden {

template <typename... Arguments>
inline void Trace(const char* /*format*/, const Arguments&... /*arguments*/) {}

}  // namespace Halden
