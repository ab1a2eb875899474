// `zvm-devhost --replay FILE`: a recorded session (session_records.h) played
// against the plugin library again. The host's side is played as recorded:
// the library is loaded and initialized, called, given its events and shut
// down, and its reads and external requests are answered as they were then
// (each by the first answer not yet used, of the same action, to the same
// method and URL). What the plugin does in each action is compared with
// what it did then, leaving out the times: records that are the same but
// for the order of an object's members are the same.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "binding/property.h"

namespace Halden::devhost {

// A difference of the plugin's doings in one action: the recorded record
// and the one the replay made, either of which may be missing (empty).
struct ReplayDifference {
  BindingProperty expected;
  BindingProperty got;
};

// Pairs what was recorded with what came, both in the order made: records
// that are the same pair first, in order; of those left between two such
// pairs, each expected one with the next of its kind that came. Returns the
// pairs that differ, and what is left over on either side.
std::vector<ReplayDifference> CompareActions(const std::vector<BindingProperty>& expected,
                                             const std::vector<BindingProperty>& got);

// A record as it is compared: without its step, time, during, and the
// host's answer.
std::string ComparedText(const BindingProperty& record);

// Replays the recording at `recording` against the library at `library`,
// registered through its export `exportName`, writing to `out` each
// difference (the step, what was expected, what came) and a last line with
// the counts. 0 when the plugin did as recorded, 1 when anything differed or
// the recording does not read.
int ReplaySession(const std::string& library, const std::string& exportName,
                  const std::string& recording, std::FILE* out);

}  // namespace Halden::devhost
