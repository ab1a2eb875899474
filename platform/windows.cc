#include <windows.h>

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
  return std::string(buffer, n);
}

uintptr_t CurrentThreadId() { return GetCurrentThreadId(); }

bool DebuggerAttached() { return IsDebuggerPresent() != 0; }

void DebuggerOutput(const char* text) { OutputDebugStringA(text); }

}  // namespace Halden::platform
