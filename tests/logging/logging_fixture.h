// Shared by the logging tests: a target that keeps what it is given, and a
// fixture that holds a reference on the process-wide logging system, keeps
// the built-in console targets quiet and puts back what a test changed.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logging/log_system.h"
#include "logging/log_target.h"

namespace Halden {

class CaptureTarget final : public LogTarget {
 public:
  CaptureTarget()
      : LogTarget("CaptureTarget", [](LogTarget& target, const LogRecord& record) {
          static_cast<CaptureTarget&>(target).records.push_back(record);
          return true;
        }) {}
  ~CaptureTarget() override { Detach(); }

  std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    for (const LogRecord& record : records) messages.emplace_back(record.message);
    return messages;
  }

  std::vector<LogRecord> records;
};

class LoggingTest : public testing::Test {
 protected:
  const LogSystemApi& system = LogSystem();

  void SetUp() override {
    system.AddRef();
    level = system.GetMinimumLevel();
    muted = system.GetMutedGroups();
    for (LogTargetHandle* handle : BuiltIns()) {
      wasAttached.push_back(handle->IsAttached());
      handle->Detach();
    }
  }

  void TearDown() override {
    system.Enable();
    system.SetMinimumLevel(level);
    system.SetMutedGroups(muted);
    for (std::size_t i = 0; i < BuiltIns().size(); ++i) {
      if (wasAttached[i]) BuiltIns()[i]->Attach();
    }
    system.Release();
  }

  std::vector<LogTargetHandle*> BuiltIns() const {
    return {system.GetStdOutTarget(), system.GetStdErrTarget(), system.GetDebuggerTarget()};
  }

 private:
  uint32_t level = 0;
  uint64_t muted = 0;
  std::vector<bool> wasAttached;
};

}  // namespace Halden
