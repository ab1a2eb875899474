#include "logging/assertion_report.h"

#include <gtest/gtest.h>

#include "logging_fixture.h"

namespace Halden {
namespace {

TEST(AssertionReportTest, BuildsTheReportFromTheGivenPieces) {
  struct Case {
    const char* expression;
    const char* file;
    int line;
    const char* function;
    const char* description;
    const char* report;
  };
  const Case cases[] = {
      {"ALE-EECF0606", "", 0, "", "", "Assertion failed!\n\nExpression: ALE-EECF0606"},
      {"x > 0", "a.cc", 12, "Run", "too small",
       "Assertion failed!\n\nFile: a.cc\nLine: 12\n\nFunction: Run\n\nExpression: x > 0\n\n"
       "Description: too small"},
      {"", "", -3, "", "", "Assertion failed!\n\nLine: -3\n\n"},
      {nullptr, nullptr, 0, nullptr, "only this",
       "Assertion failed!\n\n\n\nDescription: only this"},
      {"", "", 0, "", "", "Assertion failed!\n\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AssertionReport(c.expression, c.file, c.line, c.function, c.description), c.report);
  }
}

using FatalAssertionTest = LoggingTest;

TEST_F(FatalAssertionTest, LogsTheReportAsAnErrorInGroupDbg) {
  CaptureTarget target;
  target.Configure(0, 0, 0, "#M");
  // A "%" in the report must come out as it is.
  RaiseFatalAssertion("100%s", "", 0, "", "");
  ASSERT_EQ(target.records.size(), 1u);
  EXPECT_EQ(target.records[0].level, kLogError);
  EXPECT_EQ(target.records[0].groups, kGroupDebug);
  EXPECT_STREQ(target.records[0].message, "Assertion failed!\n\nExpression: 100%s");
}

}  // namespace
}  // namespace Halden
