#include "host/devhost/mock_service.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "formats/json_to_property.h"

namespace Halden::devhost {
namespace {

// Accounts, mail and links; a fault's answer as a client sees it; a stop ends a hang.
TEST(MockEmailService, AccountsMailLinksAndFaults) {
  const char* const kStatus = "/v1/account/status";
  const char* const kEmail = "/v1/account/email";
  const char* const kVerify = "/v1/account/email/verification";
  std::vector<std::string> validated;
  MockEmailService service([&](const MockAccount& account) { validated.push_back(account.email); });
  std::string error;
  ASSERT_TRUE(service.Bind(0, error)) << error;
  service.SetAccounts({{"t1", "one@x.test", "pw1", true},
                       {"t2", "two@x.test", "pw2", false},
                       {"t0", "", "pw0", false}});
  service.Start();
  const auto call = [&](const char* method, const std::string& path, const char* token,
                        const char* body = "") {
    httplib::Request request;
    request.method = method;
    request.path = path;
    request.body = body;
    if (token != nullptr) request.set_header("Authorization", std::string("Bearer ") + token);
    const httplib::Result result = httplib::Client(service.Url()).send(request);
    return result ? std::pair{result->status, result->body} : std::pair{0, std::string()};
  };
  const auto linkPath = [&](const MockMail& mail) {
    return mail.link.substr(service.Url().size());
  };
  const std::tuple<const char*, const char*, const char*, const char*, int, const char*> cases[] = {
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
  for (const auto& [method, path, token, body, status, answer] : cases) {
    EXPECT_EQ(call(method, path, token, body), (std::pair{status, std::string(answer)}))
        << method << " " << path << " " << body;
  }
  EXPECT_EQ(httplib::Client(service.Url()).Get(kStatus)->get_header_value("WWW-Authenticate"),
            "Bearer");
  const std::vector<MockMail> mails = service.Mailbox();
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[0].to + " " + mails[0].locale, "new@x.test en_us");
  ASSERT_TRUE(mails[0].link.starts_with(service.Url() + "/v1/account/email/verify?code="));
  // A link validates once; one to an address the account no longer has, never.
  EXPECT_EQ(call("GET", linkPath(mails[0]), nullptr).first, 200);
  EXPECT_EQ(call("GET", linkPath(mails[0]), nullptr).first, 404);
  ASSERT_EQ(call("PUT", kEmail, "t2", R"({"email":"other@x.test","password":"pw2"})"),
            (std::pair{204, std::string()}));
  EXPECT_EQ(call("GET", linkPath(mails[1]), nullptr).first, 409);
  EXPECT_EQ(validated, std::vector<std::string>{"new@x.test"});
  EXPECT_EQ(call("GET", kStatus, "t1").second, R"({"email":"new@x.test","emailVerified":true})");
  const std::string mailbox = call("GET", "/mailbox", nullptr).second;
  EXPECT_TRUE(mailbox.starts_with(R"([{"link":")")) << mailbox;
  EXPECT_NE(mailbox.find(R"("locale":"","to":"two@x.test","used":true})"), std::string::npos)
      << mailbox;
  EXPECT_EQ(service.AccountEmail("t1"), "new@x.test");
  EXPECT_EQ(service.AccountEmail("t3"), std::nullopt);
  // A body over 1 MiB is refused before it is read; one of 1 MiB is read.
  const std::string large((1 << 20) + 1, ' ');
  EXPECT_EQ(call("PUT", kEmail, "t1", large.c_str()).first, 413);
  EXPECT_EQ(call("PUT", kEmail, "t1", large.c_str() + 1).first, 400);
  // Only the last hundred mails are kept, and the links of those.
  std::string first;
  for (int i = 0; i < 101; ++i) {
    ASSERT_EQ(call("POST", kVerify, "t2", "{}").first, 204);
    if (i == 0) first = linkPath(service.Mailbox().back());
  }
  EXPECT_EQ(service.Mailbox().size(), 100u);
  EXPECT_EQ(call("GET", first, nullptr).first, 404);
  EXPECT_EQ(call("GET", linkPath(service.Mailbox().front()), nullptr).first, 200);
  EXPECT_TRUE(service.Mailbox().front().used);
  const std::tuple<const char*, int, const char*, const char*> faults[] = {
      {R"({"answer":"status","status":503,"body":"Down"})", 503, "text/plain; charset=utf-8",
       "Down"},
      {R"({"answer":"status","status":500,"body":"{\"retry\":3}"})", 500, "application/json",
       R"({"retry":3})"},
      {R"({"answer":"not-json"})", 200, "text/html",
       "<!doctype html><title>Maintenance</title><p>Back soon.</p>"},
  };
  httplib::Client client(service.Url());
  for (const auto& [fault, status, type, body] : faults) {
    const std::string document = std::string(R"({"GET /v1/account/status":)") + fault + "}";
    ASSERT_TRUE(service.SetFaults(JsonToProperty(document.c_str()), error)) << error;
    const httplib::Result result = client.Get(kStatus, {{"Authorization", "Bearer t1"}});
    ASSERT_TRUE(result) << fault;
    EXPECT_EQ(std::tuple(result->status, result->get_header_value("Content-Type"), result->body),
              std::tuple(status, type, body))
        << fault;
  }
  // The other endpoints answer as usual meanwhile.
  ASSERT_TRUE(
      service.SetFaults(JsonToProperty(R"({"GET /v1/account/status":{"answer":"hang"}})"), error));
  EXPECT_EQ(call("POST", kVerify, "t1", "{}").first, 204);
  // A hang ends when its client leaves: with all workers' clients gone, a call is answered.
  for (int i = 0; i < 4; ++i) {
    httplib::Client gone(service.Url());
    gone.set_read_timeout(std::chrono::milliseconds(200));
    EXPECT_FALSE(gone.Get(kStatus));
  }
  EXPECT_EQ(call("POST", kVerify, "t1", "{}").first, 204);
  // A stop ends a hang, and drops a call held back by a delay, without waiting for either.
  ASSERT_TRUE(service.SetFaults(JsonToProperty(R"({"GET /v1/account/status":{"answer":"hang"},)"
                                               R"("POST /v1/account/email/verification":)"
                                               R"({"delay":60000}})"),
                                error));
  bool hungAnswered = true, delayedAnswered = true;
  std::thread hanging([&] { hungAnswered = call("GET", kStatus, "t1").first != 0; });
  const std::string newest = service.Mailbox().back().link;
  std::thread waiting([&] { delayedAnswered = call("POST", kVerify, "t1", "{}").first != 0; });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto stopping = std::chrono::steady_clock::now();
  service.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(30));
  hanging.join();
  waiting.join();
  EXPECT_FALSE(hungAnswered);
  EXPECT_FALSE(delayedAnswered);
  EXPECT_EQ(service.Mailbox().back().link, newest);
}

}  // namespace
}  // namespace Halden::devhost
