// The few operating-system services the framework needs, behind one small
// interface: a POSIX body (posix.cc) and a Windows body (windows.cc).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Halden::platform {

// Reserves and commits a read-write region of `size` bytes; null when the
// system refuses.
void* ReserveRegion(std::size_t size);
// Gives a region obtained from ReserveRegion back to the system.
void ReleaseRegion(void* region, std::size_t size);

// Wall-clock local time, split into its fields.
struct LocalTime {
  uint32_t year, month, day, hour, minute, second, millisecond;
};
LocalTime GetLocalTime();

// A monotonic high-resolution counter and its ticks per second.
uint64_t HighResolutionCounter();
uint64_t HighResolutionFrequency();

// Full path of the running executable; empty when unknown.
std::string ExecutablePath();

// An identifier of the calling thread, unique among the live threads.
uintptr_t CurrentThreadId();

// True when a debugger is attached to the process.
bool DebuggerAttached();
// Sends text to the debugger's output channel; without an attached debugger
// nothing is sent.
void DebuggerOutput(const char* text);

// Ends the process at once and abnormally, after a fatal report: what was
// written to the standard streams is flushed, nothing else runs and nothing
// is shown to the user.
[[noreturn]] void AbortProcess();

}  // namespace Halden::platform
