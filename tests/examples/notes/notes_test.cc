// The notes plugin through its library, as the client's core drives it: the
// calls of its three endpoints and their answers, the events that follow,
// the starting notes and the access token it reads from the host.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "api/method.h"
#include "formats/json_to_property.h"
#include "host/in_process_host.h"
#include "logging/log_level.h"

namespace Halden::host {
namespace {

using Strings = std::vector<std::string>;

constexpr const char* kNotes = "/example-notes/v1/notes";
constexpr const char* kStarting = "/data-store/v1/install-settings/example-notes";
constexpr const char* kToken = "/ksa-auth/v1/authorization/access-token";
constexpr const char* kEvent = "OnJsonApiEvent_example-notes_v1_notes";

BindingProperty Json(const std::string& text) { return JsonToProperty(text.c_str()); }

class NotesTest : public ::testing::Test {
 protected:
  void Start(bool signedIn = true) {
    host.SetResourceBody(kStarting, Json(R"({"notes":[]})"));
    if (signedIn) host.SetResourceBody(kToken, Json(R"({"token":"t-1","expiry":5000000000})"));
    ASSERT_TRUE(host.Load(ZVM_PLUGIN_LIBRARY, ZVM_PLUGIN_EXPORT)) << host.Error();
    ASSERT_TRUE(host.Initialize());
  }

  CallResponse Put(const std::string& id, const std::string& body) {
    return host.Call(kMethodPut, std::string(kNotes) + "/" + id, "application/json", body);
  }
  CallResponse Delete(const std::string& id) {
    return host.Call(kMethodDelete, std::string(kNotes) + "/" + id);
  }
  std::string List(const std::string& query = "") {
    const CallResponse response = host.Call(kMethodGet, kNotes + query);
    EXPECT_FALSE(response.error) << response.errorText;
    return response.json;
  }

  // What the call answered: its status and its error text or its body.
  static std::string Answer(const CallResponse& response) {
    return std::to_string(response.status) + " " +
           (response.error ? response.errorText : response.json);
  }

  Strings Published() const {
    Strings payloads;
    for (const SentEvent& event : host.SentEvents()) {
      if (event.name == kEvent) payloads.push_back(event.payload);
    }
    return payloads;
  }

  Strings Lines(uint32_t level) const {
    Strings lines;
    for (const LoggedLine& line : host.Lines()) {
      if (line.level == level) lines.push_back(line.message);
    }
    return lines;
  }

  InProcessHost host;
};

TEST_F(NotesTest, RegistersItsEndpointsAndRecords) {
  Start();
  EXPECT_STREQ(host.Registration().shortName, "example-notes");
  Strings endpoints;
  for (uint32_t i = 0; i < host.Table()->entryCount; ++i) {
    const ApiEndpointEntry& entry = host.Table()->entries[i];
    endpoints.push_back(std::string(entry.function.name) + " " + entry.pathTemplate);
  }
  EXPECT_EQ(endpoints, (Strings{"DeleteExampleNotesV1NotesById /example-notes/v1/notes/{id}",
                                "GetExampleNotesV1Notes /example-notes/v1/notes",
                                "PutExampleNotesV1NotesById /example-notes/v1/notes/{id}"}));
  Strings priorities;
  for (uint32_t i = 0; i < host.Table()->typeCount; ++i) {
    const ApiTypeRecord& type = host.Table()->types[i];
    if (std::string(type.name) != "ExampleNotesPriority") continue;
    for (const ApiEnumeratorRecord* value = type.enumerators; value; value = value->next) {
      priorities.push_back(value->name + std::string("=") + std::to_string(value->value));
    }
  }
  EXPECT_EQ(priorities, (Strings{"High=2", "Low=0", "Normal=1"}));
  // The event it sends is declared with the record it carries.
  Strings events;
  for (uint32_t i = 0; i < host.Table()->eventCount; ++i) {
    const ApiEventRecord& event = host.Table()->events[i];
    if (std::string(event.name).starts_with("OnJsonApiEvent_")) {
      events.push_back(std::string(event.name) + " " + event.typeName);
    }
  }
  EXPECT_EQ(events, (Strings{std::string(kEvent) + " PluginResourceEvent"}));
}

TEST_F(NotesTest, APutIsAnsweredAnnouncedAndLogged) {
  Start();
  // A success sets no status: 0.
  EXPECT_EQ(Answer(Put("milk", R"({"text":"Buy milk"})")),
            R"(0 {"id":"milk","priority":"Normal","text":"Buy milk"})");
  EXPECT_EQ(Published(), (Strings{R"({"data":{"notes":[{"id":"milk","priority":"Normal",)"
                                  R"("text":"Buy milk"}]},"eventType":"Update",)"
                                  R"("uri":"/example-notes/v1/notes"})"}));
  EXPECT_EQ(Lines(kLogOkay), (Strings{"example-notes: note milk saved"}));
}

TEST_F(NotesTest, StartsWithTheNotesOfTheDataStore) {
  const std::string kWithout = "example-notes: starting without notes: ";
  struct Case {
    const char* starting;  // null: the host has no such resource
    const char* list;
    std::string warning;  // the start of the one warning, if any
  } cases[] = {
      {R"({"notes":[{"id":"b","text":"Two"},{"id":"a","priority":"High","text":"One"}]})",
       R"({"notes":[{"id":"a","priority":"High","text":"One"},)"
       R"({"id":"b","priority":"Normal","text":"Two"}]})",
       ""},
      {nullptr, R"({"notes":[]})",
       kWithout + "Error response for GET " + kStarting + ": Resource not found"},
      {R"({"notes":[{"id":"a","priority":"Urgent"}]})", R"({"notes":[]})",
       kWithout + "Error converting response for GET " + kStarting + ": "},
  };
  for (const Case& c : cases) {
    InProcessHost caseHost;
    if (c.starting != nullptr) caseHost.SetResourceBody(kStarting, Json(c.starting));
    ASSERT_TRUE(caseHost.Load(ZVM_PLUGIN_LIBRARY, ZVM_PLUGIN_EXPORT));
    ASSERT_TRUE(caseHost.Initialize());
    EXPECT_EQ(caseHost.Call(kMethodGet, kNotes).json, c.list);
    Strings warnings;
    for (const LoggedLine& line : caseHost.Lines()) {
      if (line.level == kLogWarning) warnings.push_back(line.message);
    }
    if (c.warning.empty()) {
      EXPECT_TRUE(warnings.empty()) << warnings[0];
    } else {
      ASSERT_EQ(warnings.size(), 1u) << c.list;
      EXPECT_TRUE(warnings[0].starts_with(c.warning)) << warnings[0];
    }
  }
}

TEST_F(NotesTest, ChangesOneNoteByItsPath) {
  Start();
  struct Step {
    uint32_t method;
    const char* id;
    const char* body;
    const char* answer;
    const char* list;
  } steps[] = {
      {kMethodPut, "milk", R"({"text":"Buy milk"})",
       R"(0 {"id":"milk","priority":"Normal","text":"Buy milk"})",
       R"({"notes":[{"id":"milk","priority":"Normal","text":"Buy milk"}]})"},
      {kMethodPut, "call%20mum", R"({"text":"Call mum","priority":"High"})",
       R"(0 {"id":"call mum","priority":"High","text":"Call mum"})",
       R"({"notes":[{"id":"call mum","priority":"High","text":"Call mum"},)"
       R"({"id":"milk","priority":"Normal","text":"Buy milk"}]})"},
      {kMethodPut, "milk", R"({"text":"Buy oat milk","priority":"Low"})",
       R"(0 {"id":"milk","priority":"Low","text":"Buy oat milk"})",
       R"({"notes":[{"id":"call mum","priority":"High","text":"Call mum"},)"
       R"({"id":"milk","priority":"Low","text":"Buy oat milk"}]})"},
      {kMethodPut, "milk", R"({"text":""})", "400 A note needs a text", nullptr},
      // The dispatcher refuses an empty capture before the handler runs.
      {kMethodPut, "", R"({"text":"No id"})", "0 Expected value for argument 'id'.", nullptr},
      {kMethodDelete, "call%20mum", nullptr, "0 ",
       R"({"notes":[{"id":"milk","priority":"Low","text":"Buy oat milk"}]})"},
      {kMethodDelete, "call%20mum", nullptr, "404 No note call mum", nullptr},
  };
  std::string list = R"({"notes":[]})";
  for (const Step& step : steps) {
    const CallResponse response =
        step.method == kMethodPut ? Put(step.id, step.body) : Delete(step.id);
    EXPECT_EQ(Answer(response), step.answer) << step.id;
    if (step.list != nullptr) list = step.list;
    EXPECT_EQ(List(), list) << step.id;
  }
  EXPECT_EQ(Lines(kLogOkay),
            (Strings{"example-notes: note milk saved", "example-notes: note call mum saved",
                     "example-notes: note milk saved", "example-notes: note call mum deleted"}));
  EXPECT_EQ(Lines(kLogWarning),
            (Strings{"example-notes: A note needs a text", "example-notes: No note call mum"}));
}

TEST_F(NotesTest, AnUnknownPriorityIsRefusedByName) {
  Start();
  const CallResponse response = Put("milk", R"({"text":"Buy milk","priority":"Urgent"})");
  EXPECT_TRUE(response.error);
  EXPECT_NE(response.errorText.find("Urgent"), std::string::npos) << response.errorText;
  EXPECT_EQ(List(), R"({"notes":[]})");
}

// The framework refuses these before the handler runs, with no status (0);
// the handler's own refusals carry theirs.
TEST_F(NotesTest, TheFrameworksRefusalsCarryNoStatus) {
  Start();
  const std::string path = std::string(kNotes) + "/milk";
  EXPECT_EQ(Answer(host.Call(kMethodPut, path)), "0 A value for 'note' is required.");
  EXPECT_EQ(Answer(host.Call(kMethodPut, path, "text/plain", "Buy milk")),
            "0 Unsupported body content type");
  EXPECT_EQ(Answer(Put("milk", R"({"text":"Buy milk")")),
            "0 Error: Missing a comma or '}' after an object member. at offset 18.");
  EXPECT_EQ(Answer(Put("milk", R"({"text":"Buy milk","priority":"Urgent"})")),
            "0 Urgent is not a valid ExampleNotesPriority enumeration value for 'priority'.");
  EXPECT_EQ(Answer(Put("milk", R"({"text":""})")), "400 A note needs a text");
  EXPECT_EQ(List(), R"({"notes":[]})");
}

// A member the body leaves out, or sets to null, keeps its default; one the
// record does not have is ignored.
TEST_F(NotesTest, AMissingMemberKeepsItsDefault) {
  Start();
  EXPECT_EQ(Answer(Put("a", R"({"text":"One","priority":null,"colour":"red"})")),
            R"(0 {"id":"a","priority":"Normal","text":"One"})");
  EXPECT_EQ(Answer(Put("b", R"({"priority":"High"})")), "400 A note needs a text");
}

TEST_F(NotesTest, FiltersByTheTextItContains) {
  Start();
  Put("1", R"({"text":"Buy MILK"})");
  Put("2", R"({"text":"Milkshake recipe"})");
  Put("3", R"({"text":"Call mum"})");
  struct Case {
    const char* query;
    Strings ids;
  } cases[] = {
      {"", {"1", "2", "3"}},         {"?contains=milk", {"1", "2"}}, {"?contains=MiLk", {"1", "2"}},
      {"?contains=call%20m", {"3"}}, {"?contains=tea", {}},
  };
  for (const Case& c : cases) {
    const BindingResult list = JsonToProperty(List(c.query).c_str());
    Strings ids;
    const BindingProperty& notes = list.Find("notes");
    for (std::size_t i = 0; i < notes.Size(); ++i)
      ids.push_back(notes.Element(i).Find("id").ToText());
    EXPECT_EQ(ids, c.ids) << c.query;
  }
}

TEST_F(NotesTest, EveryChangePublishesTheWholeList) {
  Start();
  Put("a", R"({"text":"One"})");
  Put("b", R"({"text":""})");
  Put("b", R"({"text":"Two","priority":"High"})");
  Delete("a");
  Delete("a");
  const std::string update = R"({"data":{"notes":[)";
  const std::string uri = R"(]},"eventType":"Update","uri":"/example-notes/v1/notes"})";
  EXPECT_EQ(Published(), (Strings{update + R"({"id":"a","priority":"Normal","text":"One"})" + uri,
                                  update + R"({"id":"a","priority":"Normal","text":"One"},)" +
                                      R"({"id":"b","priority":"High","text":"Two"})" + uri,
                                  update + R"({"id":"b","priority":"High","text":"Two"})" + uri}));
}

TEST_F(NotesTest, ChangesNeedSomeoneSignedIn) {
  Start(false);
  const char* kRefused = "401 Sign in to change notes";
  EXPECT_EQ(Answer(Put("a", R"({"text":"One"})")), kRefused);
  host.DeliverResourceEvent(kToken, "Create", Json(R"({"token":"t-1"})"));
  EXPECT_EQ(Answer(Put("a", R"({"text":"One"})")),
            R"(0 {"id":"a","priority":"Normal","text":"One"})");
  host.DeliverResourceEvent(kToken, "Update", Json(R"({"token":""})"));
  EXPECT_EQ(Answer(Delete("a")), kRefused);
  host.DeliverResourceEvent(kToken, "Update", Json(R"({"token":"t-2"})"));
  host.DeliverResourceEvent(kToken, "Delete", Json(R"({"token":"t-2"})"));
  EXPECT_EQ(Answer(Delete("a")), kRefused);
  EXPECT_EQ(Answer(Put("b", R"({"text":"Two"})")), kRefused);
  EXPECT_EQ(List(), R"({"notes":[{"id":"a","priority":"Normal","text":"One"}]})");
  EXPECT_EQ(Published().size(), 1u);
}

TEST_F(NotesTest, ConcurrentChangesAllLandAndAreAnnouncedInTheirOrder) {
  Start();
  constexpr int kThreads = 4;
  constexpr int kPuts = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kPuts; ++i) {
        Put(std::to_string(t) + "-" + std::to_string(i), R"({"text":"x"})");
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const Strings published = Published();
  ASSERT_EQ(published.size(), std::size_t{kThreads * kPuts});
  // Each event lists one note more than the one before.
  for (std::size_t i = 0; i < published.size(); ++i) {
    const BindingResult event = JsonToProperty(published[i].c_str());
    EXPECT_EQ(event.Find("data").Find("notes").Size(), i + 1);
  }
}

TEST_F(NotesTest, ShutdownLeavesNoSubscriptionAndTheMemoryIsCounted) {
  Start();
  Strings names;
  for (const HostSubscription& subscription : host.Subscriptions()) {
    names.push_back(subscription.name);
  }
  EXPECT_NE(std::find(names.begin(), names.end(), "OnJsonApiEvent_ksa-auth_v1_authorization"),
            names.end());
  const std::vector<uint64_t> before = host.GetMemoryStats();
  Put("a", R"({"text":"One"})");
  EXPECT_GT(host.GetMemoryStats()[3], before[3]);
  host.Shutdown();
  EXPECT_TRUE(host.Subscriptions().empty());
}

}  // namespace
}  // namespace Halden::host
