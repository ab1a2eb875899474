#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace Halden::platform {

void* ReserveRegion(std::size_t size) {
  return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void ReleaseRegion(void* region, std::size_t) { VirtualFree(region, 0, MEM_RELEASE); }

LocalTime GetLocalTime() {
  SYSTEMTIME t;
  ::GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

uint64_t HighResolutionCounter() {
  LARGE_INTEGER v;
  QueryPerformanceCounter(&v);
  return static_cast<uint64_t>(v.QuadPart);
}

uint64_t HighResolutionFrequency() {
  LARGE_INTEGER v;
  QueryPerformanceFrequency(&v);
  return static_cast<uint64_t>(v.QuadPart);
}

std::string ExecutablePath() {
  char buffer[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  // A path that filled the buffer was cut.
  return n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
}

uintptr_t CurrentThreadId() { return GetCurrentThreadId(); }

bool DebuggerAttached() { return IsDebuggerPresent() != 0; }

void DebuggerOutput(const char* text) {
  if (DebuggerAttached()) OutputDebugStringA(text);
}

void AbortProcess() {
  // The C runtime buffers a redirected standard error stream, which holds the
  // report. Its abort() would show a message box in the client, a window
  // program.
  std::fflush(nullptr);
  TerminateProcess(GetCurrentProcess(), 3);
  std::abort();  // only when TerminateProcess failed
}

}  // namespace Halden::platform
