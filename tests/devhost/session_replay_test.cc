#include "host/devhost/session_replay.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "formats/json_to_property.h"

namespace Halden::devhost {
namespace {

std::vector<BindingProperty> Records(const std::vector<const char*>& lines) {
  std::vector<BindingProperty> records;
  for (const char* line : lines) records.push_back(JsonToProperty(line));
  return records;
}

// The differences, "expected -> got", of recorded and replayed doings of one action.
TEST(SessionReplay, PairsWhatWasDoneWithWhatWasRecorded) {
  const char* log = R"({"step":3,"time":0.1,"during":2,"kind":"log","text":"a"})";
  const char* other = R"({"kind":"log","text":"b"})";
  const char* send = R"({"step":4,"time":0.1,"during":2,"kind":"send","payload":{"x":1,"y":2}})";
  using Texts = std::vector<const char*>;
  const std::tuple<Texts, Texts, std::vector<std::string>> cases[] = {
      // Times, steps, the host's answers and members' order do not count.
      {{log, send},
       {R"({"kind":"log","text":"a"})", R"({"payload":{"y":2,"x":1},"kind":"send"})"},
       {}},
      {{R"({"step":5,"kind":"read","url":"/r","answer":{"status":200}})"},
       {R"({"kind":"read","url":"/r","answer":{"status":404}})"},
       {}},
      {{send},
       {R"({"kind":"log","text":"a"})", R"({"kind":"send","payload":{"x":1,"y":2}})",
        R"({"kind":"log","text":"c"})"},
       {R"(nothing -> {"kind":"log","text":"a"})", R"(nothing -> {"kind":"log","text":"c"})"}},
      // The longest run in common decides what is missing or extra.
      {{log, log}, {other, log, log}, {"nothing -> " + std::string(other)}},
      {{log, log}, {other, log}, {R"({"kind":"log","text":"a"} -> )" + std::string(other)}},
      // Of those left between two that match, each with the next of its kind.
      {{log, send, R"({"kind":"log","text":"z"})"},
       {R"({"kind":"send","payload":{"x":0}})", R"({"kind":"log","text":"y"})"},
       {R"({"kind":"log","text":"a"} -> {"kind":"log","text":"y"})",
        R"({"kind":"send","payload":{"x":1,"y":2}} -> {"kind":"send","payload":{"x":0}})",
        R"({"kind":"log","text":"z"} -> nothing)"}},
  };
  const auto text = [](const BindingProperty& record) -> std::string {
    return record.IsEmpty() ? "nothing" : ComparedText(record);
  };
  for (const auto& [expected, got, differences] : cases) {
    std::vector<std::string> found;
    for (const ReplayDifference& difference : CompareActions(Records(expected), Records(got))) {
      found.push_back(text(difference.expected) + " -> " + text(difference.got));
    }
    EXPECT_EQ(found, differences) << expected.size() << " expected, " << got.size();
  }
}

}  // namespace
}  // namespace Halden::devhost
