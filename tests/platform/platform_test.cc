#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <thread>

namespace Halden::platform {
namespace {

TEST(Platform, RegionsAreWritableAndReleased) {
  constexpr std::size_t kSize = 64 * 1024;
  void* region = ReserveRegion(kSize);
  ASSERT_NE(region, nullptr);
  std::memset(region, 0xAB, kSize);
  EXPECT_EQ(static_cast<unsigned char*>(region)[kSize - 1], 0xAB);
  ReleaseRegion(region, kSize);
}

TEST(Platform, TimeCounterAndProcess) {
  LocalTime now = GetLocalTime();
  EXPECT_GE(now.year, 2024u);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12);
  EXPECT_LT(now.millisecond, 1000u);
  uint64_t first = HighResolutionCounter();
  EXPECT_GE(HighResolutionCounter(), first);
  EXPECT_GT(HighResolutionFrequency(), 0u);
  EXPECT_NE(ExecutablePath().find("platform_tests"), std::string::npos);
  EXPECT_NE(CurrentThreadId(), 0u);
  uintptr_t other = 0;
  std::thread([&other] { other = CurrentThreadId(); }).join();
  EXPECT_NE(other, CurrentThreadId());
}

TEST(Platform, DebuggerOutputIsSilentWithoutADebugger) {
  if (DebuggerAttached()) GTEST_SKIP() << "a debugger is attached";
  testing::internal::CaptureStderr();
  DebuggerOutput("for the debugger only\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(PlatformDeathTest, AbortProcessKeepsTheBufferedReport) {
  EXPECT_DEATH(
      {
        // As the Windows C runtime buffers a redirected standard error stream.
        std::setvbuf(stderr, nullptr, _IOFBF, 4096);
        std::fputs("the fatal report", stderr);
        AbortProcess();
      },
      "the fatal report");
}

}  // namespace
}  // namespace Halden::platform
