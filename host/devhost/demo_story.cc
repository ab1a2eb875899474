#include "host/devhost/demo_story.h"

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "formats/json_to_property.h"
#include "formats/property_to_json.h"

namespace Halden::devhost {
namespace {

constexpr auto kEventWait = std::chrono::seconds(10);
constexpr const char* kEmail = "/qor-email-verification/v1/email";
constexpr const char* kConfirm = "/qor-email-verification/v1/confirm-email";
constexpr const char* kEmailEvent = "OnJsonApiEvent_qor-email-verification_v1_email";

// The plugin's events as a client of GET /events receives them.
class EventWatcher {
 public:
  explicit EventWatcher(const std::string& url) : client(url) {
    // Longer than the stream's keep-alive interval.
    client.set_read_timeout(std::chrono::seconds(60));
    thread = std::thread([this] {
      client.Get("/events", [this](const char* data, std::size_t length) {
        Receive(std::string(data, length));
        return true;
      });
      std::lock_guard guard(lock);
      ended = true;
      changed.notify_all();
    });
  }

  ~EventWatcher() {
    client.stop();
    thread.join();
  }

  bool Open() {
    std::unique_lock guard(lock);
    return changed.wait_for(guard, kEventWait, [this] { return open || ended; }) && open;
  }

  // The data of the next event named `name`, skipping others.
  std::optional<std::string> Next(const std::string& name) {
    std::unique_lock guard(lock);
    std::optional<std::string> data;
    changed.wait_for(guard, kEventWait, [&] {
      for (; seen < events.size() && !data; ++seen) {
        if (events[seen].first == name) data = events[seen].second;
      }
      return data.has_value() || ended;
    });
    return data;
  }

 private:
  void Receive(const std::string& text) {
    std::lock_guard guard(lock);
    open = true;
    buffer += text;
    for (std::size_t end = buffer.find("\n\n"); end != std::string::npos;
         end = buffer.find("\n\n")) {
      std::string name, data;
      std::size_t start = 0;
      while (start < end) {
        const std::size_t stop = buffer.find('\n', start);
        const std::string line = buffer.substr(start, std::min(stop, end) - start);
        if (line.starts_with("event: ")) name = line.substr(7);
        if (line.starts_with("data: ")) data = line.substr(6);
        start = stop + 1;
      }
      buffer.erase(0, end + 2);
      if (!name.empty()) events.emplace_back(name, data);
    }
    changed.notify_all();
  }

  httplib::Client client;
  std::thread thread;
  std::mutex lock;
  std::condition_variable changed;
  std::string buffer;
  std::vector<std::pair<std::string, std::string>> events;
  std::size_t seen = 0;
  bool open = false;
  bool ended = false;
};

// One step after another, each request and answer in the transcript.
class Story {
 public:
  Story(const std::string& url, std::FILE* out) : url(url), out(out) {}

  void Step(const std::string& title) { std::fprintf(out, "demo %d. %s\n", ++step, title.c_str()); }

  // The answer's status and body; status 0 when none came. `target` is a
  // path of the host, or a URL of another server.
  std::pair<int, std::string> Send(const std::string& method, const std::string& target,
                                   const std::string& body = "") {
    std::fprintf(out, "  > %s %s%s%s\n", method.c_str(), target.c_str(), body.empty() ? "" : " ",
                 body.c_str());
    httplib::Request request;
    std::string origin = url;
    request.path = target;
    if (target.starts_with("http://")) {
      const std::size_t path = target.find('/', 7);
      origin = target.substr(0, path);
      request.path = path == std::string::npos ? "/" : target.substr(path);
    }
    httplib::Client client(origin);
    request.method = method;
    request.body = body;
    if (!body.empty()) request.set_header("Content-Type", "application/json");
    const httplib::Result result = client.send(request);
    if (!result) {
      std::fprintf(out, "  < no answer: %s\n", httplib::to_string(result.error()).c_str());
      return {0, ""};
    }
    std::fprintf(out, "  < %d %s\n", result->status, result->body.c_str());
    return {result->status, result->body};
  }

  // Notes an event in the transcript.
  void Saw(const std::string& name, const std::string& data) {
    std::fprintf(out, "  event %s %s\n", name.c_str(), data.c_str());
  }

  // False, with the failure in the transcript, unless `holds`.
  bool Check(bool holds, const std::string& what) {
    if (!holds) std::fprintf(out, "  FAILED: %s\n", what.c_str());
    std::fflush(out);
    return holds;
  }

 private:
  std::string url;
  std::FILE* out;
  int step = 0;
};

// Bodies are written as JSON writes them: an account's address, token and
// password may hold any character.
std::string Session(const std::string& email, bool verified, bool fatal) {
  BindingProperty session;
  session.Member("email").SetString(email);
  session.Member("emailVerified").SetBool(verified);
  session.Member("fatalError").SetBool(fatal);
  return PropertyToJson(session, nullptr, nullptr);
}

std::string TextsJson(std::initializer_list<std::pair<const char*, std::string>> members) {
  BindingProperty object;
  for (const auto& [name, text] : members) object.Member(name).SetString(text);
  return PropertyToJson(object, nullptr, nullptr);
}

std::string Member(const std::string& json, const char* name) {
  return JsonToProperty(json.c_str()).Find(name).ToText();
}

bool Play(Story& story, EventWatcher& events, const std::string& mockUrl,
          const MockAccount& account) {
  const std::string email = "changed.address@example.test";
  auto update = [&](const std::string& password) {
    return TextsJson({{"email", email}, {"password", password}});
  };
  // The session the resource's next Update event carries.
  auto published = [&]() -> std::string {
    const std::optional<std::string> data = events.Next(kEmailEvent);
    if (!data) return "no event";
    story.Saw(kEmailEvent, *data);
    const BindingResult event = JsonToProperty(data->c_str());
    const BindingProperty& record = event.Find("data");
    return Session(record.Find("email").ToText(), record.Find("emailVerified").GetBool(),
                   record.Find("fatalError").GetBool());
  };

  story.Step("start without a token: the status cannot be fetched");
  auto [status, body] = story.Send("GET", kEmail);
  if (!story.Check(status == 500 && Member(body, "message").ends_with("No KSA id token available"),
                   "expected 500 with the missing token's message")) {
    return false;
  }

  story.Step("sign in: the access token's Create event reaches the plugin");
  std::tie(status, body) =
      story.Send("POST", "/_host/sign-in", TextsJson({{"token", account.token}}));
  if (!story.Check(status == 200 && body == R"({"eventType":"Create","subscribers":1})",
                   "expected the Create event delivered to one subscription")) {
    return false;
  }

  story.Step("GET loads the account's status from the service");
  std::tie(status, body) = story.Send("GET", kEmail);
  if (!story.Check(status == 200 && body == Session(account.email, account.verified, false),
                   "expected the account's address and state")) {
    return false;
  }

  story.Step("PUT with a wrong password: the service refuses");
  const std::string wrong = "not-" + account.password;
  std::tie(status, body) = story.Send("PUT", kEmail, update(wrong));
  if (!story.Check(status == 400 && Member(body, "message") == "Wrong password" &&
                       body.find(wrong) == std::string::npos,
                   "expected 400 with the service's text, without the password")) {
    return false;
  }

  story.Step("PUT with the right password: the address changes and is published");
  std::tie(status, body) = story.Send("PUT", kEmail, update(account.password));
  if (!story.Check(status == 204, "expected 204") ||
      !story.Check(published() == Session(email, account.verified, false),
                   "expected an Update event with the new address")) {
    return false;
  }

  story.Step("POST confirm-email: the service mails a verification link");
  std::tie(status, body) = story.Send("POST", kConfirm);
  if (!story.Check(status == 204, "expected 204")) return false;
  std::tie(status, body) = story.Send("GET", mockUrl + "/mailbox");
  const BindingResult mailbox = JsonToProperty(body.c_str());
  const BindingProperty& mail = mailbox.Element(mailbox.Size() - 1);
  if (!story.Check(status == 200 && mail.Find("to").ToText() == email,
                   "expected a mail to the new address in the mailbox")) {
    return false;
  }

  story.Step("follow the mail's link: the address is validated");
  std::tie(status, body) = story.Send("GET", mail.Find("link").ToText());
  if (!story.Check(status == 200, "expected 200 from the link") ||
      !story.Check(published() == Session(email, true, false),
                   "expected an Update event with the address verified")) {
    return false;
  }
  std::tie(status, body) = story.Send("GET", kEmail);
  if (!story.Check(body == Session(email, true, false), "expected GET to show it verified")) {
    return false;
  }

  story.Step("an unreadable messaging message: the fatal error is published");
  std::tie(status, body) = story.Send("POST", "/_host/message", "{\"emailStatus\":");
  if (!story.Check(status == 200, "expected the message delivered") ||
      !story.Check(published() == Session(email, true, true),
                   "expected an Update event with fatalError")) {
    return false;
  }

  story.Step("sign out: the token's Delete event; requests lack a token again");
  std::tie(status, body) = story.Send("POST", "/_host/sign-out");
  if (!story.Check(status == 200 && body == R"({"eventType":"Delete","subscribers":1})",
                   "expected the Delete event delivered to one subscription")) {
    return false;
  }
  std::tie(status, body) = story.Send("POST", kConfirm);
  return story.Check(
      status == 500 && Member(body, "message").ends_with("No KSA id token available"),
      "expected 500 with the missing token's message");
}

}  // namespace

int RunDemo(const std::string& url, const std::string& mockUrl, const MockAccount& account,
            std::FILE* out) {
  Story story(url, out);
  EventWatcher events(url);
  if (!story.Check(events.Open(), "the event stream " + url + "/events did not open")) return 1;
  const bool passed = Play(story, events, mockUrl, account);
  std::fprintf(out, "demo %s\n", passed ? "passed" : "FAILED");
  std::fflush(out);
  return passed ? 0 : 1;
}

}  // namespace Halden::devhost
