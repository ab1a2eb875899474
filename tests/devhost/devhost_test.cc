// The development host in process, over HTTP: answers and refusals, controls,
// streams, terminal, recordings, reloads and the demo.
#include "host/devhost/devhost.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <tuple>

#include "formats/json_to_property.h"
#include "formats/property_to_json.h"
#include "host/devhost/demo_story.h"
#include "host/devhost/json_reply.h"
#include "host/devhost/memory_counters.h"
#include "host/devhost/session_replay.h"
#include "tests/support/loopback_socket.h"
#include "zvm_version.h"

namespace Halden::devhost {
namespace {

constexpr const char* kEmail = "/qor-email-verification/v1/email";
constexpr const char* kConfirm = "/qor-email-verification/v1/confirm-email";

using ::testing::HasSubstr;
using ::testing::Not;

std::string Read(const std::filesystem::path& path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

// What `run` returned, and what it wrote.
std::pair<int, std::string> Captured(const std::function<int(std::FILE*)>& run) {
  std::FILE* out = std::tmpfile();
  const int outcome = run(out);
  std::string text(std::ftell(out), '\0');
  std::rewind(out);
  text.resize(std::fread(text.data(), 1, text.size(), out));
  std::fclose(out);
  return {outcome, text};
}

std::pair<int, std::string> Replayed(const std::string& path) {
  return Captured([&](std::FILE* out) {
    return ReplaySession(ZVM_DEVHOST_DEMO_PLUGIN, ZVM_DEVHOST_DEMO_EXPORT, path, out);
  });
}

int PortOf(const std::string& url) { return std::stoi(url.substr(url.rfind(':') + 1)); }

bool Sent(int socket, const std::string& text) {
  return send(socket, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

// What `socket` receives until it ends or fails, and recv's last result.
std::pair<std::string, ssize_t> ReceivedAll(int socket) {
  std::string text;
  char buffer[4096];
  ssize_t count;
  while ((count = recv(socket, buffer, sizeof buffer, 0)) > 0) {
    text.append(buffer, static_cast<std::size_t>(count));
  }
  return {text, count};
}

// What a client of a stream of server-sent events has received so far.
class StreamReader {
 public:
  StreamReader(const std::string& url, const std::string& path) : client(url) {
    client.set_read_timeout(std::chrono::seconds(60));  // past the stream's keep-alive
    thread = std::thread([this, path] {
      const bool whole = client.Get(path, [this](const char* data, std::size_t length) {
        std::lock_guard guard(lock);
        text.append(data, length);
        changed.notify_all();
        return true;
      });
      std::lock_guard guard(lock);
      ended = whole;
      changed.notify_all();
    });
    EXPECT_TRUE(Saw(": ")) << path << " did not open";
  }
  ~StreamReader() {
    client.stop();
    thread.join();
  }
  bool EndedWhole() {
    std::unique_lock guard(lock);
    changed.wait_for(guard, std::chrono::seconds(20), [&] { return ended.has_value(); });
    return ended.value_or(false);
  }
  // Waits up to `wait` for `part` and passes over it; what came ahead goes into `before`.
  bool Saw(const std::string& part, std::string* before = nullptr,
           std::chrono::milliseconds wait = std::chrono::seconds(10)) {
    std::unique_lock guard(lock);
    changed.wait_for(guard, wait, [&] { return ended || text.find(part) != std::string::npos; });
    const std::size_t at = text.find(part);
    if (at == std::string::npos) return false;
    if (before != nullptr) *before = text.substr(0, at);
    text.erase(0, at + part.size());
    return true;
  }

 private:
  httplib::Client client;
  std::thread thread;
  std::optional<bool> ended;  // whole or not
  std::mutex lock;
  std::condition_variable changed;
  std::string text;
};

class DevhostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    options.config = ZVM_DEVHOST_CONFIG;
    options.plugin = ZVM_DEVHOST_DEMO_PLUGIN;
    options.exportName = ZVM_DEVHOST_DEMO_EXPORT;
    options.consoleDir = ZVM_DEVHOST_CONSOLE;
    options.port = 0;
    options.reload = false;
    options.maxBody = 4096;
    Restart();
  }
  void Restart() {
    devhost.reset();
    devhost = std::make_unique<Devhost>(options, *terminal);
    std::string error;
    ASSERT_TRUE(devhost->Start(error)) << error;
    // A host that does not answer stops the test here, not at each request.
    ASSERT_EQ(Send("HEAD", "/_host/plugin").status, 200);
  }
  void TearDown() override {
    devhost.reset();
    terminal.reset();
    std::fclose(out);
    std::filesystem::remove(kTerminal);
    std::filesystem::remove_all(folder);
  }

  // The answer's status and body, and its Allow header.
  struct Answer {
    int status = 0;
    std::string body = "", allow = "";
    bool operator==(const Answer&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const Answer& answer) {
      return out << answer.status << " " << answer.body << " (Allow: " << answer.allow << ")";
    }
  };
  Answer Send(const std::string& method, const std::string& path, const std::string& body = "",
              const httplib::Headers& headers = {}, const char* contentType = "application/json") {
    httplib::Client client(devhost->Url());
    client.set_read_timeout(std::chrono::seconds(20));
    httplib::Request request;
    request.method = method;
    request.path = path;
    request.headers = headers;
    request.body = body;
    if (!body.empty()) request.set_header("Content-Type", contentType);
    // Whole within 20 s: a stream opened by mistake fails, not holds, the test.
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    request.content_receiver = [&](const char* data, std::size_t length, uint64_t, uint64_t) {
      received.append(data, length);
      return std::chrono::steady_clock::now() < deadline;
    };
    const httplib::Result result = client.send(request);
    if (!result) return {};
    return {result->status, received, result->get_header_value("Allow")};
  }
  BindingResult Got(const std::string& path) {
    return JsonToProperty(Send("GET", path).body.c_str());
  }
  // A raw connection to the front, and the Host line of a request on it.
  int Connect() { return testing::Connected(PortOf(devhost->Url())); }
  std::string HostLine() { return "Host: " + devhost->Url().substr(7) + "\r\n"; }
  // Serves a copy of `source`, reloaded when it is replaced as a linker
  // replaces it: renamed into place.
  void Serve(const std::string& source) {
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(source, library);
    options.plugin = library;
    options.reload = true;
    Restart();
  }
  void Replace(const std::string& source) {
    std::filesystem::copy_file(source, library + ".new");
    std::filesystem::rename(library + ".new", library);
  }
  // What the terminal has shown so far.
  std::string Shown() {
    std::fflush(out);
    return Read(kTerminal);
  }

  const std::string kTerminal = ::testing::TempDir() + "devhost-" + std::to_string(getpid());
  const std::filesystem::path folder = kTerminal + "-reload";
  std::string library = (folder / "plugin.so").string();
  DevhostOptions options;
  std::FILE* out = std::fopen(kTerminal.c_str(), "w");
  std::unique_ptr<Terminal> terminal = std::make_unique<Terminal>(out, false);
  std::unique_ptr<Devhost> devhost;
};

TEST_F(DevhostTest, AnswersAndRefusesOverHttp) {
  const std::string account =
      R"({"email":"player@example.test","emailVerified":false,"fatalError":false})";
  const std::string token = R"(Expected {"token": <text>, "expiry": <number, optional>})";
  const std::string takes = " " + std::string(kEmail) + "; it takes GET, PUT";
  const auto unsupported = [](const std::string& type) {
    return "Unsupported body content type '" + type +
           "': send the body as application/json, application/vnd.api+json, application/x-yaml "
           "or application/x-msgpack";
  };
  const char* multipart = "multipart/form-data; boundary=b";
  struct Case {
    const char* method;
    std::string path;
    std::string body;
    int status;
    std::string text;  // the answer's body; an error's message
    const char* allow = "";
    const char* contentType = "application/json";
  } cases[] = {
      {"GET", "/_host/token", "", 200, R"({"account":"player@example.test","signedIn":true})"},
      {"GET", "/_host/plugin", "", 200,
       std::string(R"({"apiVersion":"18.0.0","build":{"commit":")") + ZVM_COMMIT + R"(","type":")" +
           ZVM_BUILD_TYPE + R"("},"library":")" + ZVM_DEVHOST_DEMO_PLUGIN +
           R"(","name":"qor-email-verification","version":")" + ZVM_VERSION_TEXT + R"("})"},
      {"GET", "/_host/mailbox", "", 200, "[]"},
      {"GET", "/no/such/path", "", 404, "No endpoint takes GET /no/such/path"},
      {"DELETE", kEmail, "", 405, "No endpoint takes DELETE" + takes, "GET, PUT"},
      {"OPTIONS", kEmail, "", 405, "No endpoint takes OPTIONS" + takes, "GET, PUT"},
      {"PUT", "/openapi.json", "", 405, "No endpoint takes PUT /openapi.json; it takes GET, HEAD",
       "GET, HEAD"},
      {"GET", "/_host/nothing", "", 404, "No control endpoint GET /_host/nothing"},
      {"PUT", "/_host/token", "", 405, "No control endpoint PUT /_host/token; it takes GET, HEAD",
       "GET, HEAD"},
      {"POST", "/_host/sign-in", R"({"token":7})", 400, token},
      {"POST", "/_host/sign-in", R"({"token":""})", 400, token},
      {"POST", "/_host/sign-in", R"({"token":"t","expiry":"soon"})", 400, token},
      {"POST", "/_host/sign-in", R"({"token":"dev-token-1","expiry":4102444800})", 200,
       R"({"eventType":"Update","subscribers":1})"},
      {"PUT", kEmail, std::string(4097, 'x'), 413,
       "The request body exceeds the limit of 4096 bytes"},
      {"PUT", kEmail, "email=x", 415, unsupported("application/x-www-form-urlencoded"), "",
       "application/x-www-form-urlencoded"},
      // The body reaches the plugin whatever its type.
      {"PUT", kEmail, "--b\r\nContent-Disposition: form-data; name=\"email\"\r\n\r\nx\r\n--b--\r\n",
       415, unsupported(multipart), "", multipart},
      // A method the server does not route.
      {"TRACE", kEmail, "", 400, "Malformed request"},
      {"GET", "/" + std::string(9000, 'a'), "", 414, "The request line is longer than 8192 bytes"},
  };
  for (const Case& c : cases) {
    const std::string body = c.status < 400 ? c.text : MessageJson(c.status, c.text);
    EXPECT_EQ(Send(c.method, c.path, c.body, {}, c.contentType), (Answer{c.status, body, c.allow}))
        << c.method << " " << c.path;
  }
  // The loaded plugin's API, served from this host.
  const BindingResult api = Got("/openapi.json");
  EXPECT_EQ(api.Find("servers").Element(0).Find("url").ToText(), devhost->Url());
  EXPECT_FALSE(api.Find("paths").Find(kEmail).Find("put").IsEmpty());
  // Without --reload nothing watches the library.
  EXPECT_FALSE(Got("/_host/reload").Find("watching").GetBool());
  // A head refused before the server reads it has its own status line. A
  // head holds 64 KiB: eight lines of 8100 bytes, not nine.
  httplib::Headers large;
  for (int i = 0; i < 8; ++i) large.emplace("X-" + std::to_string(i), std::string(8100, 'h'));
  httplib::Headers larger = large;
  larger.emplace("X-8", std::string(8100, 'h'));
  for (const auto& [header, status] : std::vector<std::pair<httplib::Headers, const char*>>{
           {{{"Transfer-Encoding", "gzip"}}, "501 Not Implemented"},
           {{{"Content-Encoding", "gzip"}, {"Content-Length", "1"}}, "415 Unsupported Media Type"},
           {{{"Content-Length", "1"}, {"Content-Length", "2"}}, "400 Bad Request"},
           {large, "200 OK"},
           {larger, "431 Request Header Fields Too Large"},
       }) {
    const httplib::Result answer = httplib::Client(devhost->Url()).Get(kEmail, header);
    ASSERT_TRUE(answer);
    EXPECT_EQ(std::to_string(answer->status) + " " + answer->reason, status);
  }
  // The console's files, its page at the root.
  const std::filesystem::path console = ZVM_DEVHOST_CONSOLE;
  EXPECT_EQ(Send("GET", "/"), (Answer{200, Read(console / "index.html")}));
  EXPECT_EQ(Send("GET", "/console/dom.js"), (Answer{200, Read(console / "dom.js")}));
  // DNS rebinding and changes from other sites are refused; a foreign page's read passes.
  const std::string port = std::to_string(PortOf(devhost->Url()));
  EXPECT_EQ(Send("GET", kEmail, "", {{"Host", "evil.example:" + port}}).status, 403);
  EXPECT_EQ(Send("PUT", kEmail, "{}", {{"Origin", "http://evil.example"}}).status, 403);
  EXPECT_EQ(
      Send("GET", kEmail, "", {{"Origin", "http://evil.example"}, {"Host", "localhost:" + port}}),
      (Answer{200, account}));
  // A stored address that is not UTF-8 is answered with its bytes replaced.
  EXPECT_EQ(
      Send("PUT", kEmail, "{\"email\":\"a\xff@x.test\",\"password\":\"correct-horse\"}").status,
      204);
  EXPECT_EQ(Send("GET", kEmail).body,
            "{\"email\":\"a\xEF\xBF\xBD@x.test\",\"emailVerified\":false,\"fatalError\":false}");
}

TEST_F(DevhostTest, ReportsThePluginsWorkOnItsStreamsAndTerminal) {
  StreamReader events(devhost->Url(), "/events");
  StreamReader log(devhost->Url(), "/_host/log");
  EXPECT_EQ(Send("PUT", kEmail, R"({"email":"a@example.test","password":"wrong"})").status, 400);
  ASSERT_TRUE(log.Saw(R"(data: {"level":"ERROR","text":"email-verification: Wrong password"})"));
  EXPECT_EQ(Send("POST", "/_host/message", R"({"emailStatus":"unknown"})").body,
            R"({"eventType":"Create","subscribers":1})");
  ASSERT_TRUE(events.Saw("event: delivered OnJsonApiEvent_halden-messaging-service_v1_message"));
  // An event goes out as it comes, not at the stream's next check a second later.
  EXPECT_EQ(Send("POST", "/_host/sign-in", R"({"token":"dev-token-1","expiry":77})").status, 200);
  ASSERT_TRUE(events.Saw(R"("data":{"expiry":77,"token":"dev-token-1"})", nullptr,
                         std::chrono::milliseconds(800)));
  {
    StreamReader more[] = {
        {devhost->Url(), "/events"}, {devhost->Url(), "/events"}, {devhost->Url(), "/events"}};
    EXPECT_EQ(Send("GET", "/events"),
              (Answer{429,
                      "{\"message\":\"Too many streams: this client holds 4 streams of the events "
                      "of the plugin, the most one client may hold (8 in all)\",\"status\":429}"}));
    // Another address is another client, with the same User-Agent.
    const int other = testing::Connected(PortOf(devhost->Url()), INADDR_LOOPBACK + 1);
    ASSERT_TRUE(Sent(other, "GET /events HTTP/1.1\r\n" + HostLine() +
                                "User-Agent: cpp-httplib/" CPPHTTPLIB_VERSION "\r\n\r\n"));
    char status[16] = "";
    EXPECT_EQ(recv(other, status, 15, MSG_WAITALL), 15);
    EXPECT_STREQ(status, "HTTP/1.1 200 OK");
    close(other);
  }
  // Stopped once, the plugin's counters (taken before it shut down) shown once;
  // the streams are ended, not dropped.
  devhost->Stop();
  devhost->Stop();
  EXPECT_TRUE(events.EndedWhole());
  const std::string shown = Shown();
  const std::size_t counters = shown.find("memory counters of the plugin at shutdown: peak ");
  EXPECT_NE(counters, std::string::npos);
  EXPECT_EQ(counters, shown.rfind("memory counters"));
  EXPECT_THAT(shown, Not(HasSubstr("at shutdown: peak 0 ")));
  EXPECT_THAT(shown, HasSubstr(std::string("OKAY| PUT ") + kEmail + " 400\n"));
  EXPECT_THAT(shown, HasSubstr(" ERROR| email-verification: Wrong password"));
}

// The host's limits on connections, and clients that reset, half-close or are stopped.
TEST_F(DevhostTest, ConnectionsAreHeldToTheirLimits) {
  const int idle = Connect();
  const int connection = Connect();
  ASSERT_TRUE(Sent(connection, "POST /_host/sign-in HTTP/1.1\r\n" + HostLine() +
                                   "Content-Type: application/json\r\nContent-Length: 11\r\n"
                                   "Expect: 100-continue\r\n\r\n"));
  char buffer[4096];
  const std::string goOn = "HTTP/1.1 100 Continue\r\n\r\n";
  ASSERT_EQ(recv(connection, buffer, goOn.size(), MSG_WAITALL), static_cast<ssize_t>(goOn.size()));
  EXPECT_EQ(std::string(buffer, goOn.size()), goOn);
  ASSERT_TRUE(Sent(connection, R"({"token":7})"
                               "GET / HTTP/1.1\r\nHo"));
  const std::string answer = ReceivedAll(connection).first;
  close(connection);
  EXPECT_EQ(recv(idle, buffer, sizeof buffer, 0), 0);
  close(idle);
  EXPECT_TRUE(answer.starts_with("HTTP/1.1 400 ")) << answer;
  EXPECT_THAT(answer, HasSubstr("HTTP/1.1 408 Request Timeout\r\n"));
  EXPECT_TRUE(answer.ends_with("The request did not come whole within 5 seconds\",\"status\":408}"))
      << answer;

  // Bodies being received are held to four times the largest: the fifth of 4000 bytes is
  // refused, the fourth goes on. Each is sent once its head is read.
  const std::string put = "PUT " + std::string(kEmail) + " HTTP/1.1\r\n" + HostLine() +
                          "Content-Type: application/json\r\nContent-Length: 4096\r\n"
                          "Expect: 100-continue\r\n\r\n";
  const std::string wrong = R"({"email":"a@example.test","password":"wrong"})";
  const auto bodySent = [&](int socket) {
    return Sent(socket, put) &&
           recv(socket, buffer, goOn.size(), MSG_WAITALL) == static_cast<ssize_t>(goOn.size()) &&
           Sent(socket, wrong + std::string(4000 - wrong.size(), ' '));
  };
  const auto received = [&](int socket) {
    const ssize_t count = recv(socket, buffer, sizeof buffer, 0);
    return std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(count, 0)));
  };
  int bodies[5];
  for (int& socket : bodies) ASSERT_TRUE(bodySent(socket = Connect()));
  const std::string refused = received(bodies[4]);
  EXPECT_TRUE(refused.starts_with("HTTP/1.1 503 Service Unavailable\r\n")) << refused;
  EXPECT_THAT(refused, HasSubstr("too many request bodies at once"));
  ASSERT_TRUE(Sent(bodies[3], std::string(96, ' ')));
  EXPECT_TRUE(received(bodies[3]).starts_with("HTTP/1.1 400 "));
  // The refused body, its connection still open, no longer counts: another takes the
  // place of the one answered, and is awaited whole.
  const int next = Connect();
  ASSERT_TRUE(bodySent(next));
  pollfd answered{next, POLLIN, 0};
  EXPECT_EQ(poll(&answered, 1, 300), 0) << received(next);
  ASSERT_TRUE(Sent(next, std::string(96, ' ')));
  EXPECT_TRUE(received(next).starts_with("HTTP/1.1 400 "));
  close(next);
  for (const int socket : bodies) close(socket);

  // A request of 100 header lines is read, one of 101 refused.
  std::string lines = HostLine();
  for (int i = 1; i < 100; ++i) lines += "X-" + std::to_string(i) + ": 1\r\n";
  const int many = Connect();
  ASSERT_TRUE(Sent(many, "GET /_host/token HTTP/1.1\r\n" + lines + "X-100: 1\r\n\r\n"));
  EXPECT_THAT(ReceivedAll(many).first, HasSubstr("The request has more than 100 header lines"));
  close(many);
  // A connection serves 100 requests; only the last answer says it closes.
  const int pipelined = Connect();
  std::string asks = "GET /_host/token HTTP/1.1\r\n" + lines + "\r\n";
  for (int i = 1; i < 101; ++i) asks += "GET /_host/token HTTP/1.1\r\n" + HostLine() + "\r\n";
  ASSERT_TRUE(Sent(pipelined, asks));
  const std::string answers = ReceivedAll(pipelined).first;
  close(pipelined);
  const std::string ok = "HTTP/1.1 200 OK\r\n";
  std::size_t count = 0;
  for (std::size_t at = answers.find(ok); at != std::string::npos; at = answers.find(ok, at + 1))
    ++count;
  EXPECT_EQ(count, 100u);
  const std::size_t closing = answers.find("Connection: close\r\n");
  EXPECT_TRUE(closing != std::string::npos && closing > answers.rfind(ok));

  // A client that resets its connection midway is dropped; the host serves on.
  const int reset = Connect();
  ASSERT_TRUE(Sent(reset, "GET / HTTP/1.1\r\n"));
  const linger abort{1, 0};
  setsockopt(reset, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  close(reset);
  EXPECT_EQ(Send("GET", "/_host/token").status, 200);

  // A client that has closed its side is gone: its stream ends by the next event.
  const int gone = Connect();
  const timeval brief{3, 0};
  setsockopt(gone, SOL_SOCKET, SO_RCVTIMEO, &brief, sizeof brief);
  ASSERT_TRUE(Sent(gone, "GET /events HTTP/1.1\r\n" + HostLine() + "\r\n"));
  shutdown(gone, SHUT_WR);
  Send("POST", "/_host/message", R"({"emailStatus":"unknown"})");
  const auto [streamed, last] = ReceivedAll(gone);
  close(gone);
  EXPECT_EQ(last, 0) << streamed;
  EXPECT_THAT(streamed, Not(HasSubstr("event: delivered")));

  // One that has closed its side after a request still reads the answer.
  const int halfClosed = Connect();
  ASSERT_TRUE(Sent(halfClosed, "GET /_host/token HTTP/1.1\r\n" + HostLine() + "\r\n"));
  shutdown(halfClosed, SHUT_WR);
  EXPECT_TRUE(ReceivedAll(halfClosed).first.starts_with(ok));
  close(halfClosed);

  // Stopping the host closes a connection it holds between requests.
  const int held = Connect();
  const timeval second{1, 0};
  setsockopt(held, SOL_SOCKET, SO_RCVTIMEO, &second, sizeof second);
  ASSERT_TRUE(Sent(held, "GET /_host/token HTTP/1.1\r\n" + HostLine() + "\r\n"));
  EXPECT_TRUE(ReceivedAll(held).first.starts_with(ok));
  devhost->Stop();
  EXPECT_EQ(ReceivedAll(held), std::make_pair(std::string(), ssize_t{0}));
  close(held);
}

TEST_F(DevhostTest, TheDemoPlaysThroughFromSignedOut) {
  // Played against the host as it is then, with its first account.
  const auto demo = [&](std::FILE* out) {
    return RunDemo(devhost->Url(), devhost->MockUrl(), devhost->Config().accounts.front(), out);
  };
  // Signed in, the story fails at its first step and goes no further.
  auto [outcome, played] = Captured(demo);
  EXPECT_EQ(outcome, 1);
  EXPECT_THAT(played, HasSubstr("FAILED: expected 500 with the missing token's message"));
  EXPECT_THAT(played, Not(HasSubstr("demo 2.")));

  EXPECT_EQ(Send("POST", "/_host/sign-out").body, R"({"eventType":"Delete","subscribers":1})");
  EXPECT_EQ(Send("POST", "/_host/sign-out"), (Answer{409, MessageJson(409, "Not signed in")}));
  // The demo's host starts signed out.
  options.demo = true;
  Restart();
  std::tie(outcome, played) = Captured(demo);
  EXPECT_EQ(outcome, 0);
  for (const std::string& line : std::vector<std::string>{
           "demo 1. start without a token: the status cannot be fetched\n  > GET " +
               std::string(kEmail) + "\n  < 500 ",
           R"(  > PUT /qor-email-verification/v1/email {"email":"changed.address@example.test",)"
           R"("password":"not-correct-horse"})"
           "\n  < 400 ",
           "  event OnJsonApiEvent_qor-email-verification_v1_email {",
           "demo 9. sign out: the token's Delete event; requests lack a token again\n",
           "\ndemo passed\n",
       }) {
    EXPECT_THAT(played, HasSubstr(line));
  }
  EXPECT_THAT(played, Not(HasSubstr("FAILED")));
  EXPECT_EQ(Send("POST", kConfirm).status, 500);
  // A service that fails a step fails the story there.
  for (const auto& [request, status, text, step, failure] : {
           // Another account's status, answered as usual.
           std::tuple{"GET /v1/account/status", 200,
                      R"({\"email\":\"other@example.test\",\"emailVerified\":false})", 3,
                      "expected the account's address and state"},
           std::tuple{"PUT /v1/account/email", 400, "Other", 4,
                      "expected 400 with the service's text, without the password"},
           // Refused as a wrong password is, and so also with the right one.
           std::tuple{"PUT /v1/account/email", 400, "Wrong password", 5, "expected 204"},
           std::tuple{"POST /v1/account/email/verification", 400, "Other", 6, "expected 204"},
           // Answered, but no mail sent.
           std::tuple{"POST /v1/account/email/verification", 204, "", 6,
                      "expected a mail to the new address in the mailbox"},
       }) {
    Restart();
    Send("POST", "/_host/faults",
         std::string(R"({")") + request + R"(":{"answer":"status","status":)" +
             std::to_string(status) + R"(,"body":")" + text + R"("}})");
    std::tie(outcome, played) = Captured(demo);
    EXPECT_EQ(outcome, 1);
    const std::size_t failed = played.find(std::string("FAILED: ") + failure);
    EXPECT_NE(failed, std::string::npos) << played;
    EXPECT_GT(failed, played.find("demo " + std::to_string(step) + ".")) << played;
    EXPECT_EQ(failed, played.rfind("FAILED: ")) << played;
    EXPECT_THAT(played, Not(HasSubstr("demo " + std::to_string(step + 1) + ".")));
  }
}

// A host that cannot serve stops before loading, and says why: the whole
// message, or its start where the system's reason ends it.
TEST_F(DevhostTest, AHostThatCannotServeStopsBeforeLoading) {
  DevhostOptions front = options, mock = options, unset = options, unwritable = options,
                 unread = options, unloaded = options, unwatched = options;
  front.port = PortOf(devhost->Url());
  mock.mockPort = PortOf(devhost->MockUrl());
  unset.port.reset();
  unwritable.record = "/no/such/folder/session.jsonl";
  unread.config = "/no/such/devhost.yaml";
  unloaded.plugin = "/no/such/library.so";
  unwatched.reload = true;
  unwatched.watch = {"/no/such/folder"};
  // 8080 held here, or by another program.
  const int holder = socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in held = testing::Loopback(8080);
  if (bind(holder, reinterpret_cast<const sockaddr*>(&held), sizeof held) == 0) listen(holder, 1);
  const auto taken = [](int port, const std::string& option) {
    return "port " + std::to_string(port) +
           " on 127.0.0.1 is already in use: choose another with " + option + "=N, or " + option +
           "=0 for a free one";
  };
  for (const auto& [refused, message, whole] :
       std::vector<std::tuple<DevhostOptions, std::string, bool>>{
           {front, taken(*front.port, "--port"), true},
           {mock, taken(mock.mockPort, "--mock-port"), true},
           {unset, taken(8080, "--port"), true},
           {unwritable,
            "cannot write the recording '/no/such/folder/session.jsonl': No such file or directory",
            true},
           {unread, "Cannot read the configuration file '/no/such/devhost.yaml'", true},
           {unloaded, "cannot load the plugin library: ", false},
           {unwatched, "cannot watch /no/such/folder: ", false},
       }) {
    std::string error;
    EXPECT_FALSE(Devhost(refused, *terminal).Start(error));
    EXPECT_EQ(whole ? error : error.substr(0, message.size()), message) << error;
  }
  // The demo's host takes a free port instead.
  unset.demo = true;
  std::string error;
  EXPECT_TRUE(Devhost(unset, *terminal).Start(error)) << error;
  close(holder);
  // --hostname reaches the plugin's command line: a service that refuses the
  // connection is a transport failure.
  options.hostname = "http://127.0.0.1:1";
  Restart();
  const Answer answer = Send("GET", kEmail);
  EXPECT_EQ(answer.status, 500);
  EXPECT_THAT(answer.body, HasSubstr(": Could not establish connection\""));
}

// The mock service's faults, from the configuration's at start on: the plugin's
// answer and log line to each, and once cleared a call served at once.
TEST_F(DevhostTest, TheMockServicesFaultsReachThePlugin) {
  const std::string config = kTerminal + ".yaml";
  std::ofstream(config) << Read(options.config)
                        << "\nfaults:\n  PUT /v1/account/email: {answer: status, status: 503, "
                           "body: Down}\n";
  options.config = config;
  options.timeoutScale = 0.05;
  Restart();
  std::filesystem::remove(config);
  EXPECT_EQ(Send("GET", "/_host/faults").body,
            R"({"PUT /v1/account/email":{"answer":"status","body":"Down","status":503}})");
  // An answer given no body has none.
  const std::string bare = R"({"PUT /v1/account/email":{"answer":"status","status":503}})";
  EXPECT_EQ(Send("POST", "/_host/faults", bare).status, 200);
  EXPECT_EQ(httplib::Client(devhost->MockUrl()).Put("/v1/account/email")->body, "");
  StreamReader log(devhost->Url(), "/_host/log");
  const std::string fetch = "EmailVerification: Email verification status fetch failure: ";
  const std::string unreadable =
      "Error deserializing json response for GET " + devhost->MockUrl() +
      "/v1/account/status: Error: Invalid value. at offset 0. given body "
      "<!doctype html><title>Maintenance</title><p>Back soon.</p>";
  struct Case {
    const char* fault;
    std::string method;
    int status;
    std::string message;
  } cases[] = {
      // The GETs first: once one succeeds the plugin keeps the status.
      {R"("GET /v1/account/status":{"answer":"not-json"})", "GET", 502, fetch + unreadable},
      {R"("GET /v1/account/status":{"answer":"hang"})", "GET", 500,
       fetch + "No answer within 1.5 s"},
      {R"("GET /v1/account/status":{"delay":2500})", "GET", 500, fetch + "No answer within 1.5 s"},
      {R"("POST /v1/account/email/verification":{"answer":"close"})", "POST", 500,
       "EmailVerification: Error setting changed email: Failed to read connection"},
      // A status the service answers with is the answer's, from 400 up to 599.
      {R"("PUT /v1/account/email":{"answer":"status","status":599,"body":"x"})", "PUT", 599, "x"},
      {R"("PUT /v1/account/email":{"answer":"status","status":399,"body":"x"})", "PUT", 502, "x"},
      {R"("PUT /v1/account/email":{"answer":"refuse-token"})", "PUT", 401,
       "Unknown or missing bearer token"},
      {R"("PUT /v1/account/email":{"answer":"hang"})", "PUT", 500, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Send("POST", "/_host/faults", std::string("{") + c.fault + "}").status, 200);
    const bool changes = c.method == "PUT";
    const std::string put = R"({"email":"f@example.test","password":"correct-horse"})";
    const Answer answer =
        Send(c.method, c.method == "POST" ? kConfirm : kEmail, changes ? put : "");
    EXPECT_EQ(answer.status, c.status) << c.fault;
    EXPECT_EQ(JsonToProperty(answer.body.c_str()).Find("message").ToText(), c.message);
    // The service's text after a prefix for a change of address.
    ASSERT_TRUE(log.Saw(std::string(R"(data: {"level":"ERROR","text":")") +
                        (changes ? "email-verification: " : "") + c.message + "\"}\n"))
        << c.fault;
    EXPECT_EQ(Send("DELETE", "/_host/faults"), (Answer{200, "{}"}));
    EXPECT_EQ(Send("POST", kConfirm).status, 204) << c.fault;
  }
  // A mail for each confirmation answered, none for the one whose connection closed.
  EXPECT_EQ(Got("/_host/mailbox").Size(), std::size(cases));
  const std::string delay = R"({"GET /v1/account/status":{"delay":400}})";
  EXPECT_EQ(Send("POST", "/_host/faults", delay).status, 200);
  const std::string unread = "The faults do not read as JSON: Error: Invalid value. at offset 1.";
  EXPECT_EQ(Send("POST", "/_host/faults", "["), (Answer{400, MessageJson(400, unread)}));
  EXPECT_EQ(Send("GET", "/_host/faults").body, delay);
  // The hung change was not made once its client had left (the service
  // looks every 50 ms).
  EXPECT_EQ(Got("/_host/token").Find("account").ToText(), devhost->Config().accounts.front().email);
}

// Stopping while the plugin waits on a call the mock service holds ends that
// call, not the plugin's time-out.
TEST_F(DevhostTest, StoppingEndsACallHeldByTheMockService) {
  const std::string recording = kTerminal + ".jsonl";
  options.record = recording;
  options.timeoutScale = 0.05;
  Restart();
  ASSERT_EQ(Send("POST", "/_host/faults", R"({"GET /v1/account/status":{"answer":"hang"}})").status,
            200);
  std::thread get([&] { Send("GET", kEmail); });
  // Stopped once the plugin has the call.
  const std::string call = std::string(R"("method":"GET","path":")") + kEmail;
  for (int i = 0; i < 1000 && Read(recording).find(call) == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  devhost->Stop();
  get.join();
  std::filesystem::remove(recording);
  const std::string shown = Shown();
  EXPECT_THAT(shown, HasSubstr("Email verification status fetch failure: "));
  EXPECT_THAT(shown, Not(HasSubstr("No answer within"))) << shown;
}

// The demo's recording, with a change made to what the plugin did then,
// fails its replay with that difference, the step and what came instead.
TEST(SessionReplay, AChangedRecordingShowsTheDifference) {
  const std::string path = (std::filesystem::path(ZVM_DEVHOST_CONFIG).parent_path() /
                            "../../tests/devhost/demo_session.jsonl")
                               .lexically_normal();
  EXPECT_EQ(Replayed(path), (std::pair{0, "replay of " + path + ": 13 actions, 0 differences\n"}));
  EXPECT_EQ(Replayed("/no/such.jsonl"),
            (std::pair{1, std::string("replay: cannot read the recording '/no/such.jsonl'\n")}));
  const std::string session = Read(path);
  const std::string put = " during step 16 (call PUT /qor-email-verification/v1/email)";
  const std::string log = R"({"kind":"log","level":"ERROR","text":"email-verification: )";
  const std::size_t at = session.find("{\"step\":18,");
  const std::string step18 = session.substr(at, session.find('\n', at) + 1 - at);
  const auto LocaleRecord = [](const std::string& kind) {
    return R"("kind":")" + kind +
           R"(","method":"GET","parameters":{},"url":"/haldenclient/region-locale")";
  };
  const std::string changed = ::testing::TempDir() + "changed.jsonl";
  struct Case {
    std::string before;
    std::string after;
    std::string difference;
  } cases[] = {
      {R"("text":"email-verification: Wrong password")",
       R"("text":"email-verification: Bad password")",
       "step 18, a log" + put + ":\n  expected " + log + "Bad password\"}\n  got      " + log +
           "Wrong password\"}\n"},
      // A recording without a log line names the line it did not expect.
      {step18, "", "a log" + put + ", not in the recording:\n  expected nothing\n"},
      // A record of no action is what the plugin did on a thread of its own.
      {step18, step18 + R"({"step":99,"kind":"log","text":"elsewhere"})" + "\n",
       "step 99, a log on a thread of the plugin's own:\n  expected "
       R"({"kind":"log","text":"elsewhere"})"
       "\n  got      nothing\n"},
      // A read is not answered by a record of another kind.
      {LocaleRecord("read"), LocaleRecord("external"),
       "step 4, a external during step 1 (initialize):\n  expected {" + LocaleRecord("external") +
           "}\n  got      nothing\na read during step 1 (initialize), not in the recording:\n"
           "  expected nothing\n  got      {" +
           LocaleRecord("read") + "}\nstep 26, "},
  };
  for (const Case& c : cases) {
    std::string text = session;
    ASSERT_EQ(text.find(c.before), text.rfind(c.before)) << c.before;
    std::ofstream(changed) << text.replace(text.find(c.before), c.before.size(), c.after);
    const auto [outcome, printed] = Replayed(changed);
    EXPECT_EQ(outcome, 1);
    EXPECT_TRUE(printed.starts_with(c.difference)) << printed;
  }
  std::ofstream(changed) << "[1]\n" << session;
  EXPECT_EQ(Replayed(changed),
            (std::pair{1, "replay: line 1 of " + changed + " is no record: it has no kind\n"}));
  std::ofstream(changed).close();
  EXPECT_EQ(Replayed(changed),
            (std::pair{1, "replay: the recording '" + changed + "' holds no actions\n"}));
  std::filesystem::remove(changed);
}

// A host's recording (--record), and the console's, which begins with the
// plugin reloaded and its token delivered again, replay as recorded.
TEST_F(DevhostTest, TheHostsAndTheConsolesRecordingsReplay) {
  auto story = [&] {
    // Header values and a GET's body as they were sent.
    Send("GET", kEmail, "{}", {{"X-T", " 50%25 a "}, {"Flag", ""}});
    Send("GET", std::string(kEmail) + "?next=/a?b");
    const int raw = Connect();
    Sent(raw, "GET " + std::string(kEmail) + " HTTP/1.1\r\n" + HostLine() +
                  "X-U:v\r\nConnection: close\r\n\r\n");
    ReceivedAll(raw);
    close(raw);
    Send("PUT", kEmail, R"({"email":"x@example.test","password":"wrong"})");
    // The console's recording begins with a reload (refused once it runs).
    Send("POST", "/_host/recording");
    Send("PUT", kEmail, R"({"email":"x@example.test","password":"correct-horse"})");
    Send("POST", "/_host/message", R"({"emailStatus":"validated"})");
    Send("POST", "/_host/sign-out");
  };
  const std::string recording = kTerminal + ".jsonl";
  options.record = recording;
  Restart();
  story();
  devhost.reset();  // a host ended is stopped
  EXPECT_THAT(Shown(), HasSubstr("memory counters of the plugin at shutdown"));
  auto [outcome, printed] = Replayed(recording);
  EXPECT_EQ(outcome, 0) << printed;
  EXPECT_TRUE(printed.ends_with(" actions, 0 differences\n")) << printed;

  options.record.reset();
  Restart();
  // Signed in anew: the reloaded plugin reads the new token, then is told it.
  Send("POST", "/_host/sign-in", R"({"token":"dev-token-1","expiry":77})");
  EXPECT_EQ(Send("POST", "/_host/recording"), (Answer{200, R"({"recording":true})"}));
  EXPECT_EQ(Send("POST", "/_host/recording").status, 409);
  story();
  // Given as a file to download.
  const httplib::Result stopped = httplib::Client(devhost->Url()).Delete("/_host/recording");
  ASSERT_TRUE(stopped);
  EXPECT_EQ(stopped->get_header_value("Content-Disposition"),
            "attachment; filename=\"session.jsonl\"");
  EXPECT_EQ(Send("DELETE", "/_host/recording").status, 409);
  EXPECT_EQ(stopped->status, 200);
  const BindingResult first =
      JsonToProperty(stopped->body.substr(0, stopped->body.find('\n')).c_str());
  EXPECT_EQ(first.Find("kind").ToText() + " " + first.Find("step").ToText(), "initialize 1");
  for (const char* token : {
           R"("answer":{"json":{"expiry":77,"token":"dev-token-1"},"status":200},"kind":"read")",
           R"("eventKind":0,"kind":"deliver","name":"OnJsonApiEvent_ksa-auth_v1_authorization",)"
           R"("payload":{"data":{"expiry":77,"token":"dev-token-1"})",
           // A resource the configuration does not list is answered as missing.
           R"("answer":{"error":"Resource not found","status":404})",
           R"("body":"{}","contentType":"application/json","headers":[)",
           R"(["x-t","50%25 a"])",
           R"(["flag",""])",
           R"(["x-u","v"])",
           R"("method":"GET","path":"/qor-email-verification/v1/email?next=/a?b")",
       }) {
    EXPECT_THAT(stopped->body, HasSubstr(token));
  }
  EXPECT_THAT(stopped->body, Not(HasSubstr("remote_addr")));
  // Unloaded first: a library loaded twice in one process shares its state.
  devhost.reset();
  std::ofstream(recording) << stopped->body;
  std::tie(outcome, printed) = Replayed(recording);
  EXPECT_EQ(outcome, 0) << printed;
  std::filesystem::remove(recording);
}

// The new plugin has the token before anyone calls it; a reload and the calls
// wait for one another; a library that does not load is refused with 503.
TEST_F(DevhostTest, TheLibraryReplacedIsReloaded) {
  options.timeoutScale = 0.2;  // the plugin's 30 s are 6 s: long enough to reload meanwhile
  Serve(ZVM_DEVHOST_DEMO_PLUGIN);
  StreamReader events(devhost->Url(), "/events");
  Send("POST", "/_host/message", R"({"emailStatus":"unknown"})");
  Replace(ZVM_DEVHOST_DEMO_PLUGIN);
  ASSERT_TRUE(
      events.Saw("event: delivered OnJsonApiEvent_ksa-auth_v1_authorization\ndata: "
                 R"({"data":{"expiry":4102444800,"token":"dev-token-1"},"eventType":"Create")"));
  // The last message too.
  ASSERT_TRUE(events.Saw(R"(event: delivered OnJsonApiEvent_halden-messaging-service_v1_message)"
                         "\n"
                         R"(data: {"data":{"payload":"{\"emailStatus\":\"unknown\"}"})"));
  ASSERT_TRUE(events.Saw("event: host reload\ndata: {\"builtAt\":\"2"));
  ASSERT_TRUE(events.Saw(R"(","liveBlocks":0,"milliseconds":)"));
  ASSERT_TRUE(events.Saw(R"(,"plugin":"qor-email-verification 18.0.0"})"));
  EXPECT_EQ(Send("POST", kConfirm).status, 204);  // the mail whose link is followed below
  // Its time to a tenth of a millisecond.
  const double took = Got("/_host/reload").Find("reload").Find("milliseconds").GetFloat(-1);
  EXPECT_GE(took, 0);
  EXPECT_NEAR(took * 10, std::round(took * 10), 1e-6) << took;

  Send("POST", "/_host/faults", R"({"GET /v1/account/status": {"answer": "hang"}})");
  Answer slow, waiting;
  std::chrono::steady_clock::time_point slowEnd, waitingEnd;
  std::thread first([&] {
    slow = Send("GET", kEmail);
    slowEnd = std::chrono::steady_clock::now();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  Replace(ZVM_DEVHOST_DEMO_PLUGIN);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  std::thread second([&] {
    waiting = Send("GET", "/_host/memory");
    waitingEnd = std::chrono::steady_clock::now();
  });
  first.join();
  second.join();
  EXPECT_TRUE(slow.body.ends_with("No answer within 6 s\",\"status\":500}")) << slow;
  EXPECT_EQ(waiting.status, 200);
  EXPECT_GE(waitingEnd, slowEnd);
  ASSERT_TRUE(events.Saw(R"("liveBlocks":0,)"));
  Send("DELETE", "/_host/faults");

  std::ofstream(library + ".new") << "not a library";
  std::filesystem::rename(library + ".new", library);
  std::string before;
  ASSERT_TRUE(events.Saw("event: host reload\ndata: {\"builtAt\":\"2", &before));
  // A library that did not load is given no token and no message.
  EXPECT_THAT(before, Not(HasSubstr("delivered")));
  ASSERT_TRUE(events.Saw(R"(file too short","liveBlocks":0,)"));
  const Answer refused = Send("GET", kEmail);
  EXPECT_EQ(refused.status, 503);
  EXPECT_TRUE(refused.body.starts_with(R"({"message":"The plugin is not loaded: )")) << refused;
  for (const char* path : {"/_host/memory", "/openapi.json"}) EXPECT_EQ(Send("GET", path), refused);
  for (const char* control : {"/_host/sign-in", "/_host/sign-out", "/_host/message"}) {
    EXPECT_EQ(Send("POST", control, "{}"), refused) << control;
  }
  // The controls that do not call the plugin still answer.
  for (const char* control : {"/_host/token", "/_host/faults", "/_host/plugin"}) {
    EXPECT_EQ(Send("GET", control).status, 200) << control;
  }
  EXPECT_TRUE(StreamReader(devhost->Url(), "/_host/log").Saw("log lines of the plugin\n\n"));
  // An address validated meanwhile cannot be told to the plugin; the host says so.
  const std::string link = Got("/_host/mailbox").Element(0).Find("link").ToText();
  EXPECT_EQ(httplib::Client(devhost->MockUrl()).Get(link.substr(devhost->MockUrl().size()))->status,
            200);
  EXPECT_THAT(Shown(), HasSubstr("zvm-devhost: the validated address was not delivered: The "
                                 "plugin is not loaded: "));
  Replace(ZVM_DEVHOST_DEMO_PLUGIN);
  ASSERT_TRUE(events.Saw(R"("plugin":"qor-email-verification 18.0.0"})"));
  EXPECT_EQ(Send("GET", kEmail).status, 200);
  // A library gone has no time it was built.
  std::filesystem::remove(library);
  EXPECT_EQ(Got("/_host/reload").Find("builtAt").GetString("(none)"), "");
}

// A source changed is built (a compiler that only reads it, a copy to link): a
// build that fails shows its first error; one that passes is reloaded.
TEST_F(DevhostTest, ASourceChangedIsBuiltThenReloaded) {
  const std::string source = (folder / "part.cc").string();
  options.watch = {folder.string()};
  options.build = "c++ -fsyntax-only " + source + " && cp " + ZVM_DEVHOST_DEMO_PLUGIN + " " +
                  library + ".new && mv " + library + ".new " + library;
  Serve(ZVM_DEVHOST_DEMO_PLUGIN);
  StreamReader events(devhost->Url(), "/events");
  std::ofstream(source) << "int Part() { return undeclared; }\n";
  ASSERT_TRUE(events.Saw("event: host build\ndata: {\"changed\":\"" + source +
                         "\",\"state\":\"building\"}"));
  ASSERT_TRUE(events.Saw("event: host build\ndata: {\"error\":\"" + source + ":1:21: error: "));
  ASSERT_TRUE(events.Saw(R"("state":"failed"})"));
  EXPECT_EQ(Send("POST", kConfirm).status, 204);
  const BindingResult state = Got("/_host/reload");
  EXPECT_TRUE(state.Find("watching").GetBool());
  EXPECT_EQ(state.Find("build").Find("state").ToText(), "failed");
  EXPECT_TRUE(state.Find("reload").IsEmpty());

  // From a working folder that is gone, the change is named in full.
  const std::filesystem::path working = std::filesystem::current_path();
  std::filesystem::create_directory(folder.string() + "-gone");
  std::filesystem::current_path(folder.string() + "-gone");
  std::filesystem::remove(folder.string() + "-gone");
  std::ofstream(source) << "int Part() { return 1; }\n";
  const bool building = events.Saw(R"(data: {"changed":")" + source + R"(","state":"building"})");
  std::filesystem::current_path(working);
  ASSERT_TRUE(building);
  ASSERT_TRUE(events.Saw(R"("state":"built"})"));
  // Its time to the millisecond.
  const double seconds = Got("/_host/reload").Find("build").Find("seconds").GetFloat(-1);
  EXPECT_GE(seconds, 0);
  EXPECT_NEAR(seconds * 1000, std::round(seconds * 1000), 1e-6) << seconds;
  ASSERT_TRUE(events.Saw(R"(,"plugin":"qor-email-verification 18.0.0"})"));
}

// Another plugin's library, named with its export, reloaded: /_host/plugin
// names the copy, and the sign-in state follows the reload both ways.
TEST_F(DevhostTest, TheNotesExampleReloadsThroughItsExport) {
  options.exportName = ZVM_PLUGIN_EXPORT;
  options.config = (std::filesystem::path(ZVM_DEVHOST_CONFIG).parent_path() /
                    "../../examples/notes/devhost.yaml")
                       .lexically_normal();
  library = (folder / "notes.so").string();
  Serve(ZVM_PLUGIN_LIBRARY);
  StreamReader events(devhost->Url(), "/events");
  const std::string notes = "/example-notes/v1/notes/tea";
  for (const int status : {200, 401}) {
    Replace(ZVM_PLUGIN_LIBRARY);
    ASSERT_TRUE(events.Saw(R"(,"plugin":"example-notes 18.0.0"})"));
    EXPECT_EQ(Send("PUT", notes, R"({"text":"Buy tea"})").status, status);
    EXPECT_EQ(Send("POST", "/_host/sign-out").status, 200 + 209 * (status == 401));
  }
  // Nothing changed since: no reload more.
  EXPECT_FALSE(events.Saw("event: host reload", nullptr, std::chrono::milliseconds(1000)));
  const BindingResult plugin = Got("/_host/plugin");
  EXPECT_EQ(plugin.Find("name").ToText() + " " + plugin.Find("library").ToText(),
            "example-notes " + library);
}

// The host in process refuses a plugin that gives no callbacks, and records
// the plugin's reads among its calls, as the plugins' tests read them.
TEST(InProcessHost, RefusesNoCallbacksAndRecordsEachRead) {
  host::InProcessHost host;
  EXPECT_FALSE(host.Register([](PluginRegistration* record) { record->instance = record; }));
  ASSERT_TRUE(host.Load(ZVM_DEVHOST_DEMO_PLUGIN, ZVM_DEVHOST_DEMO_EXPORT));
  host.Initialize();
  const std::vector<std::string> calls = host.Calls();
  EXPECT_GT(host.Requests().size(), 0u);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "Request"), host.Requests().size());
  host.Shutdown();
}

TEST(MemoryCounters, NamesEachCounterAndShowsZeroForOnesNotGiven) {
  EXPECT_EQ(MemoryCountersText({1, 2, 3, 4, 5, 6}),
            "peak 1 bytes, 2 live blocks, 4 allocations of 3 bytes, 6 frees of 5 bytes");
  EXPECT_EQ(MemoryCountersText({7}),
            "peak 7 bytes, 0 live blocks, 0 allocations of 0 bytes, 0 frees of 0 bytes");
  EXPECT_EQ(PropertyToJson(MemoryCountersJson({1, 2, 3, 4, 5, 6, 7}), nullptr, nullptr),
            R"({"allocations":4,"bytesAllocated":3,"bytesFreed":5,"frees":6,"liveBlocks":2,)"
            R"("peakBytes":1})");
}

}  // namespace
}  // namespace Halden::devhost
