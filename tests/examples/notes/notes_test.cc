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

// Without starting notes the plugin warns and starts empty; those of the
// data store come in id order, a member left out at its default.
TEST_F(NotesTest, StartsWithTheNotesOfTheDataStore) {
  ASSERT_TRUE(host.Load(ZVM_PLUGIN_LIBRARY, ZVM_PLUGIN_EXPORT));
  ASSERT_TRUE(host.Initialize());
  EXPECT_EQ(List(), R"({"notes":[]})");
  EXPECT_EQ(Lines(kLogWarning),
            Strings{std::string("example-notes: starting without notes: Error response for GET ") +
                    kStarting + ": Resource not found"});
  InProcessHost stocked;
  stocked.SetResourceBody(
      kStarting,
      Json(R"({"notes":[{"id":"b","text":"Two"},{"id":"a","priority":"High","text":"One"}]})"));
  ASSERT_TRUE(stocked.Load(ZVM_PLUGIN_LIBRARY, ZVM_PLUGIN_EXPORT));
  ASSERT_TRUE(stocked.Initialize());
  EXPECT_EQ(stocked.Call(kMethodGet, kNotes).json,
            R"({"notes":[{"id":"a","priority":"High","text":"One"},)"
            R"({"id":"b","priority":"Normal","text":"Two"}]})");
}

// Each step's answer; a change publishes the whole list, which the next GET
// answers. The framework refuses some calls before the handler runs, with no
// status (0); the handler's own refusals carry theirs.
TEST_F(NotesTest, ChangesOneNoteByItsPath) {
  Start();
  struct Step {
    uint32_t method;
    const char* id;  // for a GET, its query
    const char* body;
    const char* answer;
    const char* list;  // after a change
  } steps[] = {
      // A member the body leaves out or sets to null keeps its default; one
      // the record does not have is ignored.
      {kMethodPut, "milk", R"({"text":"Buy milk","priority":null,"colour":"red"})",
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
      // The text is found without regard to case.
      {kMethodGet, "?contains=OAT", nullptr,
       R"(0 {"notes":[{"id":"milk","priority":"Low","text":"Buy oat milk"}]})", nullptr},
      {kMethodGet, "?contains=call%20m", nullptr,
       R"(0 {"notes":[{"id":"call mum","priority":"High","text":"Call mum"}]})", nullptr},
      {kMethodGet, "?contains=tea", nullptr, R"(0 {"notes":[]})", nullptr},
      {kMethodPut, "milk", R"({"text":""})", "400 A note needs a text", nullptr},
      {kMethodPut, "a%00b", R"({"text":"One"})", "400 A note's id and text cannot hold a NUL",
       nullptr},
      {kMethodPut, "", R"({"text":"No id"})", "0 Expected value for argument 'id'.", nullptr},
      {kMethodPut, "milk", R"({"text":"Buy milk","priority":"Urgent"})",
       "0 Urgent is not a valid ExampleNotesPriority enumeration value for 'priority'.", nullptr},
      {kMethodPut, "milk", R"({"text":"Buy milk")",
       "0 Error: Missing a comma or '}' after an object member. at offset 18.", nullptr},
      {kMethodDelete, "call%20mum", nullptr, "0 ",
       R"({"notes":[{"id":"milk","priority":"Low","text":"Buy oat milk"}]})"},
      {kMethodDelete, "call%20mum", nullptr, "404 No note call mum", nullptr},
  };
  std::string list = R"({"notes":[]})";
  for (const Step& step : steps) {
    const std::size_t published = Published().size();
    const CallResponse response = step.method == kMethodGet
                                      ? host.Call(kMethodGet, kNotes + std::string(step.id))
                                  : step.method == kMethodPut ? Put(step.id, step.body)
                                                              : Delete(step.id);
    EXPECT_EQ(Answer(response), step.answer) << step.id;
    ASSERT_EQ(Published().size(), published + (step.list != nullptr)) << step.id;
    if (step.list != nullptr) {
      list = step.list;
      EXPECT_EQ(Published().back(),
                R"({"data":)" + list + R"(,"eventType":"Update","uri":"/example-notes/v1/notes"})");
    }
    EXPECT_EQ(List(), list) << step.id;
  }
  // MessagePack brings a text's NULs along.
  EXPECT_EQ(Answer(host.Call(kMethodPut, std::string(kNotes) + "/x", "application/x-msgpack",
                             std::string("\x81\xa4text\xa4\0abc", 11))),
            "400 A note's id and text cannot hold a NUL");
  EXPECT_EQ(Lines(kLogOkay),
            (Strings{"example-notes: note milk saved", "example-notes: note call mum saved",
                     "example-notes: note milk saved", "example-notes: note call mum deleted"}));
  EXPECT_EQ(Lines(kLogWarning), (Strings{"example-notes: A note needs a text",
                                         "example-notes: A note's id and text cannot hold a NUL",
                                         "example-notes: No note call mum",
                                         "example-notes: A note's id and text cannot hold a NUL"}));
}

// The list's event is declared to the host; changes need a token.
TEST_F(NotesTest, ChangesNeedSomeoneSignedIn) {
  Start(false);
  Strings events;
  for (uint32_t i = 0; i < host.Table()->eventCount; ++i) {
    const ApiEventRecord& event = host.Table()->events[i];
    if (std::string(event.name).starts_with("OnJsonApiEvent_")) {
      events.push_back(std::string(event.name) + " " + event.typeName);
    }
  }
  EXPECT_EQ(events, (Strings{std::string(kEvent) + " PluginResourceEvent"}));
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

// Each change publishes under the lock it changes the notes with: the
// events come in the order of the changes, each one note longer.
TEST_F(NotesTest, ConcurrentChangesAllLandAndAreAnnouncedInTheirOrder) {
  Start();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < 25; ++i)
        Put(std::to_string(t) + "-" + std::to_string(i), R"({"text":"x"})");
    });
  }
  for (std::thread& thread : threads) thread.join();
  const Strings published = Published();
  ASSERT_EQ(published.size(), 100u);
  for (std::size_t i = 0; i < published.size(); ++i) {
    EXPECT_EQ(JsonToProperty(published[i].c_str()).Find("data").Find("notes").Size(), i + 1);
  }
}

}  // namespace
}  // namespace Halden::host
