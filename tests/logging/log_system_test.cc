#include "logging/log_system.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "logging/assertion_report.h"
#include "logging/console_log_targets.h"
#include "logging/plugin_log_target.h"
#include "platform/platform.h"

namespace Halden {
namespace {

// The executable's file name, as the logging system reports it.
#if defined(_WIN32)
constexpr char kProcessName[] = "logging_tests.exe";
#else
constexpr char kProcessName[] = "logging_tests";
#endif

// Keeps what it is given; a quitting one detaches itself within its write.
class CaptureTarget final : public LogTarget {
 public:
  CaptureTarget()
      : LogTarget("CaptureTarget", [](LogTarget& target, const LogRecord& record) {
          auto& self = static_cast<CaptureTarget&>(target);
          self.records.push_back(record);
          if (self.quit) self.Detach();
          return true;
        }) {}
  ~CaptureTarget() override { Detach(); }

  std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    for (const LogRecord& record : records) messages.emplace_back(record.message);
    return messages;
  }

  std::vector<LogRecord> records;
  bool quit = false;
};

// Holds the one reference on the logging system, whose last release drops
// its state: each test starts from a new one, its console targets detached.
class LogSystemTest : public testing::Test {
 protected:
  const LogSystemApi& system = LogSystem();

  void SetUp() override {
    system.AddRef();
    for (LogTargetHandle* handle : BuiltIns()) handle->Detach();
  }
  void TearDown() override { system.Release(); }

  std::vector<LogTargetHandle*> BuiltIns() const {
    return {system.GetStdOutTarget(), system.GetStdErrTarget(), system.GetDebuggerTarget()};
  }
};

TEST_F(LogSystemTest, StartsWithItsInitialConfiguration) {
  EXPECT_EQ(system.InterfaceVersion(), 1u);
  EXPECT_EQ(system.GetMinimumLevel(), kLogWarning);
  EXPECT_EQ(system.GetMutedGroups(), kGroupExtra);
  EXPECT_STREQ(system.ProcessName(), kProcessName);
  // Each built-in as "name version level include exclude format", then
  // whether it writes a record and a missing one.
  std::vector<std::string> builtIns;
  const LogRecord record{};
  for (LogTargetHandle* h : BuiltIns()) {
    const LogTargetOperations& o = *h->operations;
    builtIns.push_back(std::string(o.GetName(h)) + " " + std::to_string(o.InterfaceVersion(h)) +
                       " " + std::to_string(o.GetMinimumLevel(h)) + " " +
                       std::to_string(o.GetIncludeMask(h)) + " " +
                       std::to_string(o.GetExcludeMask(h)) + " " + o.GetFormat(h) + " " +
                       std::to_string(o.Write(h, &record)) + std::to_string(o.Write(h, nullptr)));
  }
  EXPECT_EQ(builtIns,
            (std::vector<std::string>{"StdOutLogTarget 1 1 2 1 #M 10",
                                      "StdErrLogTarget 1 1 1 2 #E(#T): #L| #M 10",
                                      "DebuggerConsoleLogTarget 1 1 1 0 #E(#T): #L| #M 10"}));
  // A plain target writes nothing, and leaves the system when destroyed.
  {
    LogTarget plain;
    plain.Configure(1, 0, 0, "#M");
    EXPECT_FALSE(plain.Handle()->operations->Write(plain.Handle(), &record));
  }
  EXPECT_EQ(system.FindTarget("LogTarget"), nullptr);
}

TEST_F(LogSystemTest, FiltersBySystemAndTarget) {
  struct Case {
    const char* what;
    uint32_t systemLevel, targetLevel, level;
    uint64_t muted, include, exclude, groups;
    bool disabled, written;
  } cases[] = {
      {"level 0 under the initial minimum", 1, 0, 0, 4, 0, 0, 0, false, false},
      {"level 0 after minimum 0", 0, 0, 0, 4, 0, 0, 0, false, true},
      {"muted among others", 0, 0, 3, 4, 0, 0, kGroupExtra | kGroupDebug, false, false},
      {"XTR after unmuting", 0, 0, 3, 0, 0, 0, kGroupExtra, false, true},
      {"disabled", 0, 0, 3, 0, 0, 0, 0, true, false},
      {"below the target's level", 0, 2, 1, 0, 0, 0, 0, false, false},
      {"mask 0 ignores include", 0, 0, 1, 0, kGroupNetwork, 0, 0, false, true},
      {"excluded group", 0, 0, 1, 0, 0, kGroupNetwork, kGroupDebug | kGroupNetwork, false, false},
      {"not included", 0, 0, 1, 0, kGroupNetwork, 0, kGroupDebug, false, false},
      {"included", 0, 0, 1, 0, kGroupNetwork, 0, kGroupDebug | kGroupNetwork, false, true},
      {"high group bit", 0, 0, 1, 0, uint64_t{1} << 40, 0, uint64_t{1} << 40, false, true},
  };
  for (const Case& c : cases) {
    CaptureTarget target;
    target.Configure(c.targetLevel, c.include, c.exclude, "#M");
    system.SetMinimumLevel(c.systemLevel);
    system.SetMutedGroups(c.muted);
    c.disabled ? system.Disable() : system.Enable();
    Log(c.level, c.groups, "record %d", 7);
    EXPECT_EQ(target.records.size(), c.written ? 1u : 0u) << c.what;
  }
}

TEST_F(LogSystemTest, MakesRecordsAndCountsWarningsAndErrors) {
  CaptureTarget target;
  target.Configure(0, 0, 0, "#M");
  system.SetMinimumLevel(0);
  LogTime before{}, after{};
  system.LocalTime(&before);
  Log(kLogError, kGroupNetwork, "%s %d", "code", 42);
  system.LocalTime(&after);
  Log(kLogWarning, 0, "w");
  Log(kLogOkay, 0, "o");
  Log(kLogAlways, 0, "a");
  Log(kLogError, kGroupExtra, "muted errors are not counted");
  Log(kLogWarning, 0, "%s", std::string(5000, 'x').c_str());
  const char* none = nullptr;
  Log(kLogOkay, uint64_t{1} << 63, none);
  // A fatal assertion logs its report as a DBG error, a "%" in it as it is.
  RaiseFatalAssertion("100%s", "", 0, "", "");

  ASSERT_EQ(target.records.size(), 7u);
  const LogRecord& first = target.records[0];
  EXPECT_EQ(first.level, kLogError);
  EXPECT_EQ(first.groups, kGroupNetwork);
  const auto key = [](const LogTime& t) {
    return std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
  };
  EXPECT_LE(key(before), key(first.time));
  EXPECT_LE(key(first.time), key(after));
  EXPECT_EQ(target.Messages(),
            (std::vector<std::string>{"code 42", "w", "o", "a", std::string(4095, 'x'), "",
                                      "Assertion failed!\n\nExpression: 100%s"}));
  EXPECT_EQ(target.records[5].groups, uint64_t{1} << 63);
  EXPECT_EQ(target.records[6].level, kLogError);
  EXPECT_EQ(target.records[6].groups, kGroupDebug);
  EXPECT_EQ(LogWarningCount(), 2u);
  EXPECT_EQ(LogErrorCount(), 2u);
#if !defined(_WIN32)
  // A failed conversion leaves no message, whatever the C library wrote.
  const wchar_t lone[] = {0xDFFF, 0};
  Log(kLogOkay, 0, "abc%ls", lone);
  EXPECT_EQ(target.Messages().back(), "");
#endif
}

TEST_F(LogSystemTest, FindsTargetsByTheirWholeNameAndWritesPastOneThatQuits) {
  CaptureTarget first, quitting, next;
  quitting.quit = true;
  EXPECT_EQ(system.FindTarget("CaptureTarget"), nullptr);
  first.Configure(1, 0, 0, "#M");
  quitting.Configure(1, 0, 0, "#M");
  EXPECT_EQ(system.FindTarget("CaptureTarget"), first.Handle());
  EXPECT_STREQ(first.Handle()->operations->GetFormat(first.Handle()), "#M");
  EXPECT_EQ(system.FindTarget("Capture"), nullptr);
  EXPECT_EQ(system.FindTarget(nullptr), nullptr);
  first.Detach();
  EXPECT_EQ(system.FindTarget("CaptureTarget"), quitting.Handle());
  // A target detaching itself while it writes lets the next one write.
  next.Configure(0, 0, 0, "#M");
  Log(kLogWarning, 0, "seen by both");
  EXPECT_FALSE(quitting.IsAttached());
  Log(kLogWarning, 0, "seen by the second");
  EXPECT_EQ(next.Messages(), (std::vector<std::string>{"seen by both", "seen by the second"}));
}

// With the fixture's reference and one more.
TEST_F(LogSystemTest, LastReleaseDetachesEveryTarget) {
  system.AddRef();
  CaptureTarget target;
  target.Configure(1, 0, 0, "#M");
  Log(kLogError, 0, "counted");
  system.SetMinimumLevel(3);
  system.Release();
  EXPECT_TRUE(target.IsAttached());
  system.Release();
  EXPECT_FALSE(target.IsAttached());
  // A release without a reference changes nothing; the next use starts anew.
  system.Release();
  system.AddRef();
  EXPECT_EQ(system.GetMinimumLevel(), kLogWarning);
  EXPECT_EQ(LogWarningCount(), 0u);
  EXPECT_EQ(LogErrorCount(), 0u);
  EXPECT_TRUE(system.GetStdErrTarget()->IsAttached());
}

TEST_F(LogSystemTest, NamesAndClaimsGroups) {
  char buffer[64];
  for (const auto& [mask, names] :
       std::vector<std::pair<uint64_t, std::string>>{{0x41, "DBG;NET"},
                                                     {0xff, "DBG;GEN;XTR;PRF;MEM;DSK;NET;TST"},
                                                     {uint64_t{1} << 63, "???"}}) {
    EXPECT_EQ(system.GroupNames(buffer, sizeof buffer, mask), names.size());
    EXPECT_EQ(buffer, names);
  }
  EXPECT_EQ(system.GroupNames(buffer, 5, 0x41), 4u);
  EXPECT_STREQ(buffer, "DBG;");
  EXPECT_EQ(system.GroupNames(nullptr, sizeof buffer, 0x41), 0u);
  EXPECT_EQ(system.GroupNames(buffer, 0, 0x41), 0u);

  EXPECT_EQ(system.GroupMask("NETWORK"), kGroupNetwork);
  EXPECT_EQ(system.GroupMask(nullptr), 0u);
  EXPECT_EQ(system.GroupMask("DBG"), kGroupDebug);
  // New codes claim the next entries, in order, once.
  const uint64_t first = system.GroupMask("Q");
  const uint64_t second = system.GroupMask("QQBX");
  EXPECT_EQ(first, uint64_t{1} << 8);
  EXPECT_EQ(second, first << 1);
  EXPECT_EQ(system.GroupMask("Q"), first);
  EXPECT_EQ(system.GroupMask("QQB"), second);
  system.GroupNames(buffer, sizeof buffer, first | second);
  EXPECT_STREQ(buffer, "Q;QQB");
  // The last bit is given too; once every entry is taken there is no bit to
  // give (filled in a child process, so that this one's table stays as it is).
  EXPECT_EXIT(
      {
        uint64_t lastGiven = 0;
        for (int i = 0; i < 64; ++i) {
          if (const uint64_t bit = system.GroupMask(("Z" + std::to_string(i)).c_str())) {
            lastGiven = bit;
          }
        }
        std::exit(lastGiven == uint64_t{1} << 63 && system.GroupMask("ZZZ") == 0 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

LogRecord SampleRecord(const char* message) {
  LogRecord record{};
  record.time = {2024, 3, 5, 7, 8, 9, 45};
  record.level = kLogError;
  record.groups = 0x41;
  std::snprintf(record.message, sizeof record.message, "%s", message);
  return record;
}

std::string Line(const char* format, const LogRecord& record, std::size_t size = 512) {
  std::vector<char> buffer(size, '@');
  const std::size_t length = LogSystem().FormatLine(buffer.data(), size, format, &record);
  EXPECT_EQ(length, std::strlen(buffer.data())) << format;
  return buffer.data();
}

TEST_F(LogSystemTest, FormatsLinesTimestampsAndLevelNamesAsConsolesWrite) {
  const LogRecord record = SampleRecord("hello");
  char id[32];  // the calling thread's, as "#T" writes it
  std::snprintf(id, sizeof id, "%p", reinterpret_cast<void*>(platform::CurrentThreadId()));
  const std::string thread = id;
  const std::pair<const char*, std::string> cases[] = {
      {"#D| #L| #G| #M", "2024-03-05T07:08:09.045|  ERROR| DBG;NET| hello\n"},
      {"#E(#T): #L| #M", kProcessName + ("(" + thread + "):  ERROR| hello\n")},
      {"#X##", "X#\n"},
      {"ends with #", "ends with \n"},
      {"", "\n"},
      {"already ends\n", "already ends\n"},
      {"\n", "\n"},
  };
  for (const auto& [format, line] : cases) EXPECT_EQ(Line(format, record), line) << format;
  EXPECT_EQ(Line("[#G]", SampleRecord("")), "[DBG;NET]\n");
  EXPECT_TRUE(std::regex_match(Line("#H", record), std::regex("[0-9]{6}\\.[0-9]{3}\n")));

  // The newline and the NUL always fit; the rest is cut.
  EXPECT_EQ(Line("#M world", record, 8), "hello \n");
  EXPECT_EQ(Line("#M", SampleRecord("abc\n"), 4), "ab\n");
  EXPECT_EQ(Line("#M", record, 2), "\n");
  EXPECT_EQ(Line("#M", record, 1), "");
  EXPECT_EQ(LogSystem().FormatLine(nullptr, 8, "#M", &record), 0u);

  const LogTime time = {987, 12, 31, 23, 59, 58, 7};
  char buffer[64];
  EXPECT_EQ(system.FormatTimestamp(buffer, sizeof buffer, &time), 23u);
  EXPECT_STREQ(buffer, "0987-12-31T23:59:58.007");
  EXPECT_EQ(system.FormatFileTimestamp(buffer, sizeof buffer, &time), 19u);
  EXPECT_STREQ(buffer, "0987-12-31T23-59-58");
  EXPECT_EQ(system.FormatTimestamp(buffer, 5, &time), 4u);
  EXPECT_STREQ(buffer, "0987");
  // No room or no time writes nothing, in either form.
  for (auto format : {system.FormatTimestamp, system.FormatFileTimestamp}) {
    EXPECT_EQ(format(buffer, 0, &time), 0u);
    EXPECT_EQ(format(buffer, sizeof buffer, nullptr), 0u);
  }
  std::vector<std::string> names;
  for (uint32_t level = 0; level < 5; ++level) names.push_back(system.LevelName(level));
  EXPECT_EQ(names, (std::vector<std::string>{"  OKAY", "  WARN", " ERROR", "ALWAYS", "  ????"}));

  // The console targets write such lines (the fixture's release detaches them).
  system.GetStdOutTarget()->Attach();
  system.GetStdErrTarget()->Attach();
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  Log(kLogWarning, kGroupGeneral, "general %d", 1);
  Log(kLogWarning, kGroupDebug, "debug %d", 2);
  std::fflush(stdout);
  const std::string stdOut = testing::internal::GetCapturedStdout();
  const std::string stdErr = testing::internal::GetCapturedStderr();
  EXPECT_EQ(stdOut, "general 1\n");
  EXPECT_EQ(stdErr, kProcessName + ("(" + thread + "):   WARN| debug 2\n"));
}

TEST(AssertionReportTest, BuildsTheReportFromTheGivenPieces) {
  struct Case {
    const char* expression;
    const char* file;
    int line;
    const char* function;
    const char* description;
    const char* report;
  } cases[] = {
      {"x > 0", "a.cc", 12, "Run", "too small",
       "Assertion failed!\n\nFile: a.cc\nLine: 12\n\nFunction: Run\n\nExpression: x > 0\n\n"
       "Description: too small"},
      {"", "", -3, "", "", "Assertion failed!\n\nLine: -3\n\n"},
      {nullptr, nullptr, 0, nullptr, "only this",
       "Assertion failed!\n\n\n\nDescription: only this"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AssertionReport(c.expression, c.file, c.line, c.function, c.description), c.report);
  }
}

// Without a host, or with one that has no Log function, nothing is written.
TEST(PluginLogTargetTest, WritesNothingWithoutTheHostsLogFunction) {
  const HostFunctions noLog{};
  const LogRecord record{};
  for (const HostFunctions* host : {static_cast<const HostFunctions*>(nullptr), &noLog}) {
    EXPECT_FALSE(PluginLogTarget(host).Write(record));
  }
}

}  // namespace
}  // namespace Halden
