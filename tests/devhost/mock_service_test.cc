#include "host/devhost/mock_service.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "formats/json_to_property.h"

namespace Halden::devhost {
namespace {

constexpr const char* kStatus = "/v1/account/status";
constexpr const char* kEmail = "/v1/account/email";
constexpr const char* kVerify = "/v1/account/email/verification";

class MockEmailServiceTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(service.Bind(0, error)) << error;
    service.SetAccounts({{"t1", "one@x.test", "pw1", true},
                         {"t2", "two@x.test", "pw2", false},
                         {"t0", "", "pw0", false}});
    service.Start();
  }
  void TearDown() override { service.Stop(); }

  // The answer's status and body; a null token sends no Authorization.
  std::pair<int, std::string> Send(const char* method, const std::string& path, const char* token,
                                   const char* body = "") {
    httplib::Request request;
    request.method = method;
    request.path = path;
    request.body = body;
    if (token != nullptr) request.set_header("Authorization", std::string("Bearer ") + token);
    const httplib::Result result = httplib::Client(service.Url()).send(request);
    return result ? std::pair{result->status, result->body} : std::pair{0, std::string()};
  }
  // A mail's link, as a path of the service.
  std::string Link(const MockMail& mail) const { return mail.link.substr(service.Url().size()); }

  std::vector<std::string> validated;
  MockEmailService service{
      [this](const MockAccount& account) { validated.push_back(account.email); }};
};

TEST_F(MockEmailServiceTest, AccountsMailboxAndLinks) {
  struct Case {
    const char* method;
    const char* path;
    const char* token;
    const char* body;
    int status;
    const char* answer;
  } cases[] = {
      {"GET", kStatus, nullptr, "", 401, "Unknown or missing bearer token"},
      {"GET", kStatus, "t3", "", 401, "Unknown or missing bearer token"},
      {"GET", kStatus, "t1", "", 200, R"({"email":"one@x.test","emailVerified":true})"},
      {"PUT", kEmail, "t1", R"({"email":"new@x.test","password":"pw2"})", 400, "Wrong password"},
      {"PUT", kEmail, "t1", R"({"email":"new@x.test"})", 400,
       "Expected a JSON object with the strings email and password"},
      {"PUT", kEmail, "t1", R"({"email":"new","password":"pw1"})", 400, "Not an email address"},
      {"PUT", kEmail, "t1", "{\r\n  \"email\": \"new@x.test\",\r\n  \"password\": \"pw1\"\r\n}",
       204, ""},
      {"GET", kStatus, "t1", "", 200, R"({"email":"new@x.test","emailVerified":false})"},
      {"POST", kVerify, "t1", R"({"locale":"en_us"})", 204, ""},
      {"POST", kVerify, "t2", "{}", 204, ""},
      {"POST", kVerify, "t0", "{}", 409, "The account has no email address"},
      {"POST", kVerify, nullptr, "{}", 401, "Unknown or missing bearer token"},
      {"GET", "/v1/nothing", "t1", "", 404, R"({"message":"Not found","status":404})"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Send(c.method, c.path, c.token, c.body), (std::pair{c.status, std::string(c.answer)}))
        << c.method << " " << c.path << " " << c.body;
  }
  // A token refused names the scheme the service takes.
  EXPECT_EQ(httplib::Client(service.Url()).Get(kStatus)->get_header_value("WWW-Authenticate"),
            "Bearer");
  const std::vector<MockMail> mails = service.Mailbox();
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[0].to + " " + mails[0].locale, "new@x.test en_us");
  ASSERT_TRUE(mails[0].link.starts_with(service.Url() + "/v1/account/email/verify?code="));
  // A link validates once; one to an address the account no longer has, never.
  EXPECT_EQ(Send("GET", Link(mails[0]), nullptr).first, 200);
  EXPECT_EQ(Send("GET", Link(mails[0]), nullptr).first, 404);
  ASSERT_EQ(Send("PUT", kEmail, "t2", R"({"email":"other@x.test","password":"pw2"})"),
            (std::pair{204, std::string()}));
  EXPECT_EQ(Send("GET", Link(mails[1]), nullptr).first, 409);
  EXPECT_EQ(validated, std::vector<std::string>{"new@x.test"});
  EXPECT_EQ(Send("GET", kStatus, "t1").second, R"({"email":"new@x.test","emailVerified":true})");
  const std::string mailbox = Send("GET", "/mailbox", nullptr).second;
  EXPECT_TRUE(mailbox.starts_with(R"([{"link":")")) << mailbox;
  EXPECT_NE(mailbox.find(R"("locale":"","to":"two@x.test","used":true})"), std::string::npos)
      << mailbox;
  EXPECT_EQ(service.AccountEmail("t1"), "new@x.test");
  // A body over 1 MiB is refused before it is read; one of 1 MiB is read.
  const std::string large((1 << 20) + 1, ' ');
  EXPECT_EQ(Send("PUT", kEmail, "t1", large.c_str()).first, 413);
  EXPECT_EQ(Send("PUT", kEmail, "t1", large.c_str() + 1).first, 400);
  EXPECT_EQ(service.AccountEmail("t3"), std::nullopt);
}

// The oldest mail is gone, and its link with it.
TEST_F(MockEmailServiceTest, KeepsTheLastHundredMails) {
  std::string first;
  for (int i = 0; i < 101; ++i) {
    ASSERT_EQ(Send("POST", kVerify, "t2", "{}").first, 204);
    if (i == 0) first = Link(service.Mailbox().front());
  }
  const std::vector<MockMail> mails = service.Mailbox();
  ASSERT_EQ(mails.size(), 100u);
  EXPECT_EQ(Send("GET", first, nullptr).first, 404);
  EXPECT_EQ(Send("GET", Link(mails.front()), nullptr).first, 200);
  EXPECT_TRUE(service.Mailbox().front().used);
}

// What a client of the status endpoint sees of a fault's answer (the
// plugin's answer to each kind, a delay and faults cleared are
// devhost_test's); a stop ends a hang.
TEST_F(MockEmailServiceTest, MisbehavesOnDemand) {
  struct Case {
    const char* fault;
    int status;
    std::string type;
    std::string body;
  } cases[] = {
      {R"({"answer":"status","status":503,"body":"Down"})", 503, "text/plain; charset=utf-8",
       "Down"},
      {R"({"answer":"status","status":500,"body":"{\"retry\":3}"})", 500, "application/json",
       R"({"retry":3})"},
      {R"({"answer":"not-json"})", 200, "text/html",
       "<!doctype html><title>Maintenance</title><p>Back soon.</p>"},
  };
  std::string error;
  httplib::Client client(service.Url());
  for (const Case& c : cases) {
    const std::string document = std::string(R"({"GET /v1/account/status":)") + c.fault + "}";
    ASSERT_TRUE(service.SetFaults(JsonToProperty(document.c_str()), error)) << error;
    const httplib::Result result = client.Get(kStatus, {{"Authorization", "Bearer t1"}});
    ASSERT_TRUE(result) << c.fault;
    EXPECT_EQ(result->status, c.status) << c.fault;
    EXPECT_EQ(result->get_header_value("Content-Type"), c.type) << c.fault;
    EXPECT_EQ(result->body, c.body) << c.fault;
  }
  // The other endpoints answer as usual meanwhile.
  ASSERT_TRUE(
      service.SetFaults(JsonToProperty(R"({"GET /v1/account/status":{"answer":"hang"}})"), error));
  EXPECT_EQ(Send("POST", kVerify, "t1", "{}").first, 204);
  // A hang ends when its client leaves: as many clients gone as the
  // service has workers, and the next call is still answered.
  for (int i = 0; i < 4; ++i) {
    httplib::Client gone(service.Url());
    gone.set_read_timeout(std::chrono::milliseconds(200));
    EXPECT_FALSE(gone.Get(kStatus));
  }
  EXPECT_EQ(Send("POST", kVerify, "t1", "{}").first, 204);
  // Far longer than a stop may take: a stop that waited for the client
  // would show. A call held back by a delay is dropped too, not carried out.
  ASSERT_TRUE(service.SetFaults(JsonToProperty(R"({"GET /v1/account/status":{"answer":"hang"},)"
                                               R"("POST /v1/account/email/verification":)"
                                               R"({"delay":60000}})"),
                                error));
  client.set_read_timeout(std::chrono::seconds(60));
  httplib::Client other(service.Url());
  other.set_read_timeout(std::chrono::seconds(60));
  bool hungAnswered = true, delayedAnswered = true;
  std::thread hanging([&] { hungAnswered = bool(client.Get(kStatus)); });
  const std::size_t mails = service.Mailbox().size();
  std::thread waiting([&] {
    delayedAnswered =
        bool(other.Post(kVerify, {{"Authorization", "Bearer t1"}}, "{}", "application/json"));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto stopping = std::chrono::steady_clock::now();
  service.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(30));
  hanging.join();
  waiting.join();
  EXPECT_FALSE(hungAnswered);
  EXPECT_FALSE(delayedAnswered);
  EXPECT_EQ(service.Mailbox().size(), mails);
}

}  // namespace
}  // namespace Halden::devhost
