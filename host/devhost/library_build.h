// The build that the development host runs when a source file changes: a
// command run through /bin/sh, its output and errors collected, and what of
// them to show when it fails.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <string>

namespace Halden::devhost {

struct BuildOutcome {
  bool ok = false;
  std::chrono::duration<double> took{};
  // Both streams, as the command wrote them.
  std::string output;
};

// Runs `command` in a process group of its own, so that `running`, which
// holds the group's id while it runs (0 otherwise), can stop it whole with
// StopBuild. It runs with no signal blocked or ignored and no descriptor
// but its three, whatever the host holds.
BuildOutcome RunBuild(const std::string& command, std::atomic<pid_t>& running);
void StopBuild(std::atomic<pid_t>& running);

// The first error a compiler or linker reported in `output`: the first line
// with "error:" in it, or else the last line that is not empty.
std::string FirstError(const std::string& output);

}  // namespace Halden::devhost
