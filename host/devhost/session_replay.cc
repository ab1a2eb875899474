#include "host/devhost/session_replay.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "api/method.h"
#include "formats/json_to_property.h"
#include "formats/property_to_json.h"
#include "host/devhost/session_records.h"
#include "host/in_process_host.h"

namespace Halden::devhost {
namespace {

std::string Kind(const BindingProperty& record) { return record.Find("kind").ToText(); }

// "call PUT /path", "deliver <name>", "initialize"
std::string Describe(const BindingProperty& action) {
  const std::string kind = Kind(action);
  if (kind == "call") {
    return kind + " " + action.Find("method").ToText() + " " + action.Find("path").ToText();
  }
  return kind == "deliver" ? kind + " " + action.Find("name").ToText() : kind;
}

bool IsAction(const BindingProperty& record) {
  const std::string kind = Kind(record);
  return record.Find("during").IsEmpty() &&
         (kind == "initialize" || kind == "call" || kind == "deliver" || kind == "shutdown");
}

// The host's side while an action is played: what the plugin did then, to
// answer from, and what it does now.
class Player {
 public:
  Player(std::string library, std::string exportName)
      : library(std::move(library)), exportName(std::move(exportName)) {
    host.SetRecording(false);
    host.SetResourceFilter([this](const host::RecordedRequest& request, host::ResourceAnswer) {
      const BindingProperty* recorded = Take("read", MethodName(request.method), request.url);
      host::ResourceAnswer answer;
      if (recorded != nullptr) {
        answer = ReadAnswerFromRecord(*recorded);
      } else {
        answer.fails = true;
        answer.status = 404;
        answer.error = "Resource not found";
      }
      Note(ReadRecord(request, answer));
      return answer;
    });
    host.SetExternalHandler([this](const host::ExternalCall& call) {
      const BindingProperty* recorded = Take("external", MethodName(call.method), call.url);
      host::ExternalAnswer answer;
      if (recorded != nullptr) {
        answer = ExternalAnswerFromRecord(*recorded);
      } else {
        answer.transport = 1;
        answer.body = "Not in the recording";
      }
      Note(ExternalRecord(call, answer));
      return answer;
    });
    host.SetEventListener([this](const host::SentEvent& event) { Note(SentRecord(event)); });
    host.SetLogListener([this](const host::LoggedLine& line) { Note(LogRecord(line)); });
  }

  ~Player() { host.Unload(); }

  // Plays `action`, answering from `recorded`; what the plugin did.
  std::vector<BindingProperty> Play(const BindingProperty& action,
                                    const std::vector<BindingProperty>& recorded) {
    expected = recorded;
    used.assign(recorded.size(), false);
    got.clear();
    const std::string kind = Kind(action);
    if (kind == "initialize") {
      host.Unload();
      const bool ok = host.Load(library, exportName) && host.Initialize();
      Note(InitializedRecord(ok, host.Registration(), host.Subscriptions()));
    } else if (kind == "call") {
      Note(ResponseRecord(host.Call(CallFromRecord(action))));
    } else if (kind == "deliver") {
      host.Deliver(action.Find("name").ToText(), action.Find("payload"),
                   static_cast<uint32_t>(action.Find("eventKind").GetUnsigned()));
    } else {
      host.Shutdown();
    }
    return std::move(got);
  }

  // What the plugin did on threads of its own.
  std::vector<BindingProperty> Elsewhere() {
    std::lock_guard guard(lock);
    return elsewhere;
  }

 private:
  void Note(BindingProperty record) {
    if (std::this_thread::get_id() == player) {
      got.push_back(std::move(record));
      return;
    }
    std::lock_guard guard(lock);
    elsewhere.push_back(std::move(record));
  }

  const BindingProperty* Take(const char* kind, const std::string& method, const std::string& url) {
    if (std::this_thread::get_id() != player) return nullptr;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const BindingProperty& record = expected[i];
      if (!used[i] && Kind(record) == kind && record.Find("method").ToText() == method &&
          record.Find("url").ToText() == url) {
        used[i] = true;
        return &record;
      }
    }
    return nullptr;
  }

  const std::string library;
  const std::string exportName;
  const std::thread::id player = std::this_thread::get_id();
  host::InProcessHost host;
  std::vector<BindingProperty> expected;
  std::vector<bool> used;
  std::vector<BindingProperty> got;
  std::mutex lock;
  std::vector<BindingProperty> elsewhere;
};

// "step 12, a log during step 9 (call PUT /path):", then both sides.
void Print(std::FILE* out, const ReplayDifference& difference, const std::string& where) {
  const bool extra = difference.expected.IsEmpty();
  const std::string kind = Kind(extra ? difference.got : difference.expected);
  const std::string head =
      extra ? "a " + kind + " " + where + ", not in the recording"
            : "step " + difference.expected.Find("step").ToText() + ", a " + kind + " " + where;
  std::fprintf(out, "%s:\n  expected %s\n  got      %s\n", head.c_str(),
               extra ? "nothing" : ComparedText(difference.expected).c_str(),
               difference.got.IsEmpty() ? "nothing" : ComparedText(difference.got).c_str());
}

}  // namespace

std::string ComparedText(const BindingProperty& record) {
  BindingProperty compared;
  compared.MakeStructure();
  for (const auto& [name, value] : record.Members()) {
    if (name != "step" && name != "time" && name != "during" && name != "answer") {
      compared.Member(name) = value;
    }
  }
  return PropertyToJson(compared, nullptr, nullptr);
}

std::vector<ReplayDifference> CompareActions(const std::vector<BindingProperty>& expected,
                                             const std::vector<BindingProperty>& got) {
  std::vector<std::string> wanted, came;
  for (const BindingProperty& record : expected) wanted.push_back(ComparedText(record));
  for (const BindingProperty& record : got) came.push_back(ComparedText(record));
  // The longest common subsequence of the texts, from each pair of places.
  const std::size_t n = wanted.size(), m = came.size();
  std::vector<std::vector<std::size_t>> common(n + 1, std::vector<std::size_t>(m + 1, 0));
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t j = m; j-- > 0;) {
      common[i][j] = wanted[i] == came[j] ? common[i + 1][j + 1] + 1
                                          : std::max(common[i + 1][j], common[i][j + 1]);
    }
  }
  std::vector<ReplayDifference> differences;
  std::vector<std::size_t> missing, extra;
  auto settle = [&] {
    for (const std::size_t i : missing) {
      auto match = std::find_if(extra.begin(), extra.end(),
                                [&](std::size_t j) { return Kind(got[j]) == Kind(expected[i]); });
      if (match == extra.end()) {
        differences.push_back({expected[i], {}});
        continue;
      }
      differences.push_back({expected[i], got[*match]});
      extra.erase(match);
    }
    for (const std::size_t j : extra) differences.push_back({{}, got[j]});
    missing.clear();
    extra.clear();
  };
  for (std::size_t i = 0, j = 0; i < n || j < m;) {
    if (i < n && j < m && wanted[i] == came[j]) {
      settle();
      ++i;
      ++j;
    } else if (j == m || (i < n && common[i + 1][j] >= common[i][j + 1])) {
      missing.push_back(i++);
    } else {
      extra.push_back(j++);
    }
  }
  settle();
  return differences;
}

int ReplaySession(const std::string& library, const std::string& exportName,
                  const std::string& recording, std::FILE* out) {
  std::ifstream file(recording);
  if (!file) {
    std::fprintf(out, "replay: cannot read the recording '%s'\n", recording.c_str());
    return 1;
  }
  std::vector<BindingProperty> actions;
  // What the plugin did, by the step of the action it did it in (0: on a
  // thread of its own).
  std::map<uint64_t, std::vector<BindingProperty>> done;
  std::size_t number = 0;
  for (std::string line; std::getline(file, line);) {
    ++number;
    if (line.empty()) continue;
    BindingResult record = JsonToProperty(line.c_str());
    if (!record.Ok() || Kind(record).empty()) {
      std::fprintf(out, "replay: line %zu of %s is no record: %s\n", number, recording.c_str(),
                   record.Ok() ? "it has no kind" : record.Error().c_str());
      return 1;
    }
    if (IsAction(record)) {
      actions.push_back(std::move(record));
    } else {
      done[record.Find("during").GetUnsigned()].push_back(std::move(record));
    }
  }
  // An empty file, or a folder, would otherwise pass as a session in which
  // nothing differed.
  if (actions.empty()) {
    std::fprintf(out, "replay: the recording '%s' holds no actions\n", recording.c_str());
    return 1;
  }
  Player player(library, exportName);
  std::size_t count = 0;
  for (const BindingProperty& action : actions) {
    const std::string where =
        "during step " + action.Find("step").ToText() + " (" + Describe(action) + ")";
    const std::vector<BindingProperty>& recorded = done[action.Find("step").GetUnsigned()];
    for (const ReplayDifference& difference :
         CompareActions(recorded, player.Play(action, recorded))) {
      Print(out, difference, where);
      ++count;
    }
  }
  for (const ReplayDifference& difference : CompareActions(done[0], player.Elsewhere())) {
    Print(out, difference, "on a thread of the plugin's own");
    ++count;
  }
  std::fprintf(out, "replay of %s: %zu actions, %zu differences\n", recording.c_str(),
               actions.size(), count);
  return count == 0 ? 0 : 1;
}

}  // namespace Halden::devhost
