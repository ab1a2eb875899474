// Group bits of a record's 64-bit group mask. Bit i stands for entry i of the
// process-wide group table (see LogSystemApi::GroupMask); these eight entries
// are there from the start, the others are claimed by code on first use.
#pragma once

#include <cstdint>

namespace Halden {

constexpr uint64_t kGroupDebug = uint64_t{1} << 0;        // "DBG"
constexpr uint64_t kGroupGeneral = uint64_t{1} << 1;      // "GEN"
constexpr uint64_t kGroupExtra = uint64_t{1} << 2;        // "XTR", muted at first
constexpr uint64_t kGroupPerformance = uint64_t{1} << 3;  // "PRF"
constexpr uint64_t kGroupMemory = uint64_t{1} << 4;       // "MEM"
constexpr uint64_t kGroupDisk = uint64_t{1} << 5;         // "DSK"
constexpr uint64_t kGroupNetwork = uint64_t{1} << 6;      // "NET"
constexpr uint64_t kGroupTest = uint64_t{1} << 7;         // "TST"

}  // namespace Halden
