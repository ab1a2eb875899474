#include "host/devhost/session_recorder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "host/devhost/session_records.h"

namespace Halden::devhost {
namespace {

// The lines without their times, which no test can know.
std::string Untimed(const std::string& lines) {
  return std::regex_replace(lines, std::regex(R"("time":[0-9.]+,)"), "");
}

// Steps count from each recording's beginning; the file closes with the recorder.
TEST(SessionRecorder, NumbersEachRecordingFromItsBeginning) {
  const auto descriptors = [] {
    const std::filesystem::directory_iterator open("/proc/self/fd");
    return std::distance(begin(open), end(open));
  };
  const auto open = descriptors();
  const std::string path = ::testing::TempDir() + "recorder-test.jsonl";
  {
    SessionRecorder recorder;
    auto log = [](const char* text) { return LogRecord({2, text}); };
    std::string error;
    ASSERT_TRUE(recorder.OpenFile(path, error)) << error;
    {
      const auto first = recorder.Begin([] { return ActionRecord("initialize"); });
      recorder.Add([&] { return log("one"); });
      recorder.StartBuffer();
      recorder.Add([&] { return log("two"); });
    }
    {
      const auto second = recorder.Begin([] { return ActionRecord("shutdown"); });
      recorder.Add([&] { return log("three"); });
    }
    recorder.Add([&] { return log("four"); });
    EXPECT_TRUE(recorder.Buffering());
    const std::optional<std::string> buffer = recorder.StopBuffer();
    EXPECT_FALSE(recorder.Buffering() || recorder.StopBuffer());
    ASSERT_TRUE(buffer);
    // The file records on without the buffer.
    recorder.Add([&] { return log("five"); });
    // The buffer's first action began before it did: its line is not there.
    EXPECT_EQ(Untimed(*buffer), R"({"step":1,"kind":"log","level":"ERROR","text":"two"}
{"step":2,"kind":"shutdown"}
{"step":3,"during":2,"kind":"log","level":"ERROR","text":"three"}
{"step":4,"kind":"log","level":"ERROR","text":"four"}
)");
    const std::string lines(std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {});
    EXPECT_EQ(Untimed(lines), R"({"step":1,"kind":"initialize"}
{"step":2,"during":1,"kind":"log","level":"ERROR","text":"one"}
{"step":3,"during":1,"kind":"log","level":"ERROR","text":"two"}
{"step":4,"kind":"shutdown"}
{"step":5,"during":4,"kind":"log","level":"ERROR","text":"three"}
{"step":6,"kind":"log","level":"ERROR","text":"four"}
{"step":7,"kind":"log","level":"ERROR","text":"five"}
)");
  }
  EXPECT_EQ(descriptors(), open);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace Halden::devhost
