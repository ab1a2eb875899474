// Counts the blocks taken from the general heap by this executable.
#pragma once

#include <cstdint>

namespace Halden::bench {

// Calls of any global operator new since the program started.
uint64_t HeapBlocks();

}  // namespace Halden::bench
