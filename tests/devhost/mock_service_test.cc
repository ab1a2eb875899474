#include "host/devhost/mock_service.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "formats/json_to_property.h"

namespace Halden::devhost {
namespace {

TEST(MockEmailService, AccountsMailboxAndLinks) {
  std::vector<std::string> validated;
  MockEmailService service([&](const MockAccount& account) { validated.push_back(account.email); });
  std::string error;
  ASSERT_TRUE(service.Bind(0, error)) << error;
  service.SetAccounts({{"t1", "one@x.test", "pw1", true}, {"t2", "two@x.test", "pw2", false}});
  service.Start();
  httplib::Client client(service.Url());

  struct Case {
    const char* method;
    const char* path;
    const char* token;  // null: no Authorization header
    const char* body;
    int status;
    const char* answer;
  } cases[] = {
      {"GET", "/v1/account/status", nullptr, "", 401, "Unknown or missing bearer token"},
      {"GET", "/v1/account/status", "t3", "", 401, "Unknown or missing bearer token"},
      {"GET", "/v1/account/status", "t1", "", 200,
       R"({"email":"one@x.test","emailVerified":true})"},
      {"PUT", "/v1/account/email", "t1", R"({"email":"new@x.test","password":"pw2"})", 400,
       "Wrong password"},
      {"PUT", "/v1/account/email", "t1", R"({"email":"new@x.test"})", 400,
       "Expected a JSON object with the strings email and password"},
      {"PUT", "/v1/account/email", "t1", R"({"email":"new","password":"pw1"})", 400,
       "Not an email address"},
      {"PUT", "/v1/account/email", "t1",
       "{\r\n  \"email\": \"new@x.test\",\r\n  \"password\": \"pw1\"\r\n}", 204, ""},
      {"GET", "/v1/account/status", "t1", "", 200,
       R"({"email":"new@x.test","emailVerified":false})"},
      {"POST", "/v1/account/email/verification", "t1", R"({"locale":"en_us"})", 204, ""},
      {"POST", "/v1/account/email/verification", "t2", "{}", 204, ""},
  };
  for (const Case& c : cases) {
    httplib::Request request;
    request.method = c.method;
    request.path = c.path;
    request.body = c.body;
    if (c.token != nullptr) request.set_header("Authorization", std::string("Bearer ") + c.token);
    const httplib::Result result = client.send(request);
    ASSERT_TRUE(result) << c.path;
    EXPECT_EQ(result->status, c.status) << c.method << " " << c.path << " " << c.body;
    EXPECT_EQ(result->body, c.answer) << c.method << " " << c.path << " " << c.body;
  }

  const std::vector<MockMail> mails = service.Mailbox();
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[0].to, "new@x.test");
  EXPECT_EQ(mails[0].locale, "en_us");
  ASSERT_TRUE(mails[0].link.starts_with(service.Url() + "/v1/account/email/verify?code="));
  auto follow = [&](const MockMail& mail) {
    return client.Get(mail.link.substr(service.Url().size()))->status;
  };
  // A link validates once; one to an address the account no longer has, never.
  EXPECT_EQ(follow(mails[0]), 200);
  EXPECT_EQ(follow(mails[0]), 404);
  ASSERT_EQ(client
                .Put("/v1/account/email", {{"Authorization", "Bearer t2"}},
                     R"({"email":"other@x.test","password":"pw2"})", "application/json")
                ->status,
            204);
  EXPECT_EQ(follow(mails[1]), 409);
  EXPECT_EQ(validated, std::vector<std::string>{"new@x.test"});
  EXPECT_EQ(client.Get("/v1/account/status", {{"Authorization", "Bearer t1"}})->body,
            R"({"email":"new@x.test","emailVerified":true})");
  const std::string mailbox = client.Get("/mailbox")->body;
  EXPECT_TRUE(mailbox.starts_with(R"([{"link":")")) << mailbox;
  EXPECT_NE(mailbox.find(R"("locale":"","to":"two@x.test","used":true})"), std::string::npos)
      << mailbox;
  EXPECT_EQ(service.AccountEmail("t1"), "new@x.test");
  EXPECT_EQ(service.AccountEmail("t3"), std::nullopt);
  service.Stop();
}

TEST(MockEmailService, KeepsTheLastHundredMails) {
  MockEmailService service([](const MockAccount&) {});
  std::string error;
  ASSERT_TRUE(service.Bind(0, error)) << error;
  service.SetAccounts({{"t1", "one@x.test", "pw1", false}});
  service.Start();
  httplib::Client client(service.Url());
  std::string first;
  for (int i = 0; i < 101; ++i) {
    ASSERT_EQ(client
                  .Post("/v1/account/email/verification", {{"Authorization", "Bearer t1"}}, "{}",
                        "application/json")
                  ->status,
              204);
    if (i == 0) first = service.Mailbox().front().link.substr(service.Url().size());
  }
  const std::vector<MockMail> mails = service.Mailbox();
  ASSERT_EQ(mails.size(), 100u);
  // The oldest mail is gone, and its link with it.
  EXPECT_EQ(client.Get(first)->status, 404);
  EXPECT_EQ(client.Get(mails.front().link.substr(service.Url().size()))->status, 200);
  EXPECT_TRUE(service.Mailbox().front().used);
  service.Stop();
}

// What a client of the status endpoint sees of each fault; a client that
// gives up after 300 ms does not wait out the hang.
TEST(MockEmailService, MisbehavesOnDemand) {
  MockEmailService service([](const MockAccount&) {});
  std::string error;
  ASSERT_TRUE(service.Bind(0, error)) << error;
  service.SetAccounts({{"t1", "one@x.test", "pw1", true}});
  service.Start();
  const std::string usual = R"({"email":"one@x.test","emailVerified":true})";
  struct Case {
    const char* fault;
    httplib::Error error;
    int status;
    std::string type;
    std::string body;
  } cases[] = {
      {R"({"answer":"status","status":503,"body":"Down"})", httplib::Error::Success, 503,
       "text/plain", "Down"},
      {R"({"answer":"status","status":500,"body":"{\"retry\":3}"})", httplib::Error::Success, 500,
       "application/json", R"({"retry":3})"},
      {R"({"answer":"not-json"})", httplib::Error::Success, 200, "text/html",
       "<!doctype html><title>Maintenance</title><p>Back soon.</p>"},
      {R"({"answer":"refuse-token"})", httplib::Error::Success, 401, "text/plain",
       "Unknown or missing bearer token"},
      {R"({"answer":"close"})", httplib::Error::Read, 0, "", ""},
      {R"({"answer":"hang"})", httplib::Error::Read, 0, "", ""},
      {R"({"delay":100})", httplib::Error::Success, 200, "application/json", usual},
      {"null", httplib::Error::Success, 200, "application/json", usual},
  };
  for (const Case& c : cases) {
    const std::string document = std::string(R"({"GET /v1/account/status":)") + c.fault + "}";
    ASSERT_TRUE(service.SetFaults(JsonToProperty(document.c_str()), error)) << error;
    httplib::Client client(service.Url());
    client.set_read_timeout(0, 300000);
    const httplib::Result result =
        client.Get("/v1/account/status", {{"Authorization", "Bearer t1"}});
    EXPECT_EQ(result.error(), c.error) << c.fault;
    if (!result) continue;
    EXPECT_EQ(result->status, c.status) << c.fault;
    EXPECT_EQ(result->get_header_value("Content-Type"), c.type) << c.fault;
    EXPECT_EQ(result->body, c.body) << c.fault;
  }
  // The other endpoints answer as usual meanwhile; a stop ends a hang.
  ASSERT_TRUE(
      service.SetFaults(JsonToProperty(R"({"GET /v1/account/status":{"answer":"hang"}})"), error));
  httplib::Client client(service.Url());
  EXPECT_EQ(client
                .Post("/v1/account/email/verification", {{"Authorization", "Bearer t1"}}, "{}",
                      "application/json")
                ->status,
            204);
  // Far longer than a stop may take: a stop that waited for the client
  // would show.
  client.set_read_timeout(std::chrono::seconds(60));
  std::thread hanging([&] { client.Get("/v1/account/status"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto stopping = std::chrono::steady_clock::now();
  service.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(30));
  hanging.join();
}

}  // namespace
}  // namespace Halden::devhost
