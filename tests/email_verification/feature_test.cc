// The email verification feature through its library: the host plays the
// client's core (token, messaging, region, data store, command line) and a
// scripted remote service.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "api/method.h"
#include "email_verification/email_verification_plugin.h"
#include "formats/json_to_property.h"
#include "host/in_process_host.h"
#include "tests/support/allocation_probe.h"

namespace Halden::feature_test {
namespace {

using Strings = std::vector<std::string>;

constexpr const char* kTokenPath = "/ksa-auth/v1/authorization/access-token";
constexpr const char* kMessagePath = "/halden-messaging-service/v1/message/account/v1/email";
constexpr const char* kEmailPath = "/qor-email-verification/v1/email";
constexpr const char* kBuiltIn = "http://email-verification.dev.halden.local";
const std::string kUnreadable = "EmailVerification: Failed deserializing an OMX message: ";
const std::string kNoToken =
    "EmailVerification: Email verification status fetch failure: No KSA id token available";

BindingProperty Json(const std::string& text) { return JsonToProperty(text.c_str()); }

host::ExternalAnswer Answer(uint32_t status, const std::string& body) {
  return {.status = status, .headers = {}, .body = body};
}

class FeatureTest : public ::testing::Test {
 protected:
  // The service map is only written while no call is on its way.
  FeatureTest() {
    host.SetExternalHandler([this](const host::ExternalCall& call) {
      const auto found = service.find(MethodName(call.method) + std::string(" ") + call.url);
      return found != service.end() ? found->second : Answer(404, "no such service path");
    });
  }

  // The remote service answers `method` on the built-in URL plus `path`.
  void Serve(const std::string& method, const std::string& path, host::ExternalAnswer answer) {
    service[method + " " + kBuiltIn + path] = std::move(answer);
  }

  // Loads the library, the host holding `token` if there is one.
  void Start(const std::string& token = "") {
    if (!token.empty()) {
      host.SetResourceBody(kTokenPath, Json(R"({"token":")" + token + R"(","expiry":5000000000})"));
    }
    ASSERT_TRUE(host.Load(ZVM_PLUGIN_LIBRARY, ZVM_PLUGIN_EXPORT)) << host.Error();
    ASSERT_TRUE(host.Initialize());
  }

  void TokenEvent(const std::string& type, const std::string& token) {
    host.DeliverResourceEvent(kTokenPath, type, Json(R"({"token":")" + token + R"("})"));
  }

  void Message(const std::string& payload, const std::string& type = "Create") {
    BindingProperty data;
    data.Member("payload").SetString(payload);
    host.DeliverResourceEvent(kMessagePath, type, data);
  }

  host::CallResponse Get() { return host.Call(kMethodGet, kEmailPath); }
  host::CallResponse Put(const std::string& email, const std::string& password) {
    return host.Call(kMethodPut, kEmailPath, "application/json",
                     R"({"email":")" + email + R"(","password":")" + password + R"("})");
  }
  host::CallResponse Post() {
    return host.Call(kMethodPost, "/qor-email-verification/v1/confirm-email");
  }

  Strings Errors() const {
    Strings errors;
    for (const host::LoggedLine& line : host.Lines())
      if (line.level == 2) errors.push_back(line.message);
    return errors;
  }

  // Payloads of the resource's Update events under its own name.
  Strings Published() const {
    Strings payloads;
    for (const host::SentEvent& event : host.SentEvents())
      if (event.name == "OnJsonApiEvent_qor-email-verification_v1_email")
        payloads.push_back(event.payload);
    return payloads;
  }

  static std::string Session(const std::string& email, bool verified, bool fatal) {
    return R"({"data":{"email":")" + email + R"(","emailVerified":)" +
           (verified ? "true" : "false") + R"(,"fatalError":)" + (fatal ? "true" : "false") +
           R"(},"eventType":"Update","uri":"/qor-email-verification/v1/email"})";
  }

  host::InProcessHost host;
  std::map<std::string, host::ExternalAnswer> service;
};

TEST_F(FeatureTest, ServiceUrlFromBuiltInDataStoreAndCommandLine) {
  const char* const eu = R"({"region":"EU"})";
  const std::string cli = "--email-verification.hostname";
  struct Case {
    const char* globals;  // null: the read fails
    bool regionData;      // false: the read fails
    std::string url;
    const char* error;  // null: none
    Strings arguments;
  } cases[] = {
      {eu, true, "https://eu.example", nullptr, {}},
      {eu, true, "http://cli", nullptr, {cli + "=http://cli", cli + "=http://2nd"}},
      {R"({"region":"NA"})", true, "", nullptr, {}},
      {"{}", true, kBuiltIn, nullptr, {"--Email-verification.hostname=http://x"}},
      {eu, false, "http://cli", "Failed to get regionSettings", {cli + "=http://cli"}},
      {nullptr, true, kBuiltIn, "Failed to get globalUserSettings", {cli, "http://next"}},
      {eu, true, "", nullptr, {cli + "="}},
  };
  for (const Case& c : cases) {
    host::InProcessHost caseHost;
    if (c.globals)
      caseHost.SetResourceBody("/data-store/v1/install-settings/globals", Json(c.globals));
    if (c.regionData) {
      caseHost.SetResourceBody(
          "/data-store/v1/system-settings/region_data",
          Json(R"({"EU":{"servers":{"email_verification":{"external_url":"https://eu.example"}}},)"
               R"("NA":{"servers":{"email_verification":{"other":1}}}})"));
    }
    BindingProperty arguments;
    arguments.MakeCollection();
    for (const std::string& argument : c.arguments) arguments.Append().SetString(argument);
    caseHost.SetResourceBody("/haldenclient/command-line-args", arguments);
    caseHost.SetResourceBody(kTokenPath, Json(R"({"token":"t"})"));
    ASSERT_TRUE(caseHost.Load(ZVM_PLUGIN_LIBRARY, ZVM_PLUGIN_EXPORT));
    ASSERT_TRUE(caseHost.Initialize());
    caseHost.Call(kMethodPut, kEmailPath, "application/json", "{}");
    ASSERT_EQ(caseHost.ExternalCalls().size(), 1u);
    EXPECT_EQ(caseHost.ExternalCalls()[0].url, c.url + "/v1/account/email") << c.url;
    Strings errors;
    for (const host::LoggedLine& line : caseHost.Lines())
      if (line.level == 2 && line.message.starts_with("Failed")) errors.push_back(line.message);
    EXPECT_EQ(errors, c.error ? Strings{c.error} : Strings{}) << c.url;
  }
}

// A sign-out delivered while the first read of the token is on its way is
// newer than the read, which must not bring the token back; an empty token
// is none either (no bare "Bearer "). Then the status is fetched once.
TEST_F(FeatureTest, StatusIsFetchedOnceATokenIsThere) {
  Serve("GET", "/v1/account/status", Answer(200, R"({"email":"a@x","emailVerified":true})"));
  bool signedOut = false;
  host.SetRequestHook([&](const std::string& url) {
    if (url != kTokenPath || signedOut) return;
    signedOut = true;
    std::thread([this] {
      host.DeliverResourceEvent(kTokenPath, "Delete", BindingProperty());
    }).join();
  });
  Start("old");
  EXPECT_TRUE(signedOut);
  EXPECT_EQ(Errors(),
            (Strings{"Failed to get regionSettings", "Failed to get globalUserSettings"}));
  host::CallResponse response = Get();
  EXPECT_EQ(response.status, 500u);
  EXPECT_EQ(response.errorText, kNoToken);
  EXPECT_EQ(Errors().back(), kNoToken);
  for (const char* type : {"Update", "Create"}) {
    TokenEvent("Update", "t");
    TokenEvent(type, "");
    EXPECT_EQ(Get().status, 500u) << type;
  }
  EXPECT_TRUE(host.ExternalCalls().empty());

  TokenEvent("Update", "tok-1");
  response = Get();
  EXPECT_EQ(response.json, R"({"email":"a@x","emailVerified":true,"fatalError":false})");
  EXPECT_EQ(Get().json, response.json);
  ASSERT_EQ(host.ExternalCalls().size(), 1u);
  const host::ExternalCall call = host.ExternalCalls()[0];
  EXPECT_EQ(call.url, std::string(kBuiltIn) + "/v1/account/status");
  EXPECT_EQ(call.headers,
            (host::HeaderList{{"user-agent", "HaldenClient/18.0.0 (qor-email-verification)"},
                              {"Authorization", "Bearer tok-1"}}));
  EXPECT_EQ(call.timeout, 30u);
  EXPECT_EQ(call.further, 1u);
  EXPECT_TRUE(Published().empty());
}

// Both calls without a token, then with one. The password goes to the
// remote body only: no answer, log line or event has it, even when the
// service refuses it or a body fails to read (whatever its format).
TEST_F(FeatureTest, ChangingTheEmailAndRequestingTheMail) {
  const std::string pw = "s3cret-Pw";
  host.SetResourceBody(
      "/haldenclient/region-locale",
      Json(R"({"region":"EU","locale":"en_US","webRegion":"eu","webLanguage":"en"})"));
  Serve("GET", "/v1/account/status", Answer(200, R"({"email":"old@x","emailVerified":true})"));
  Serve("POST", "/v1/account/email/verification", Answer(200, ""));
  Start();
  std::vector<host::CallResponse> refused{Put("new@x", pw)};
  EXPECT_EQ(refused[0].status, 500u);
  EXPECT_EQ(refused[0].errorText, "");
  EXPECT_EQ(Errors().back(), "email-verification: ");
  const host::CallResponse response = Post();
  EXPECT_EQ(response.status, 500u);
  EXPECT_EQ(response.errorText,
            "EmailVerification: Error setting changed email: No KSA id token available");

  TokenEvent("Create", "t");
  EXPECT_FALSE(Post().error);
  EXPECT_EQ(host.ExternalCalls().back().body, "{\r\n    \"locale\": \"en_us\"\r\n}");
  Serve("PUT", "/v1/account/email", Answer(400, "Wrong password"));
  refused.push_back(Put("new@x", pw));
  EXPECT_EQ(refused[1].status, 400u);
  EXPECT_EQ(refused[1].errorText, "Wrong password");
  EXPECT_EQ(Errors().back(), "email-verification: Wrong password");
  const host::ExternalCall call = host.ExternalCalls().back();
  EXPECT_EQ(call.body, "{\r\n    \"email\": \"new@x\",\r\n    \"password\": \"" + pw + "\"\r\n}");
  EXPECT_EQ(call.headers.back(),
            (std::pair<std::string, std::string>{"Content-Type", "application/json"}));
  // The last one never reached the service.
  for (const host::ExternalAnswer& answer :
       {Answer(500, ""),
        host::ExternalAnswer{.transport = 7, .headers = {}, .body = "connection refused"}}) {
    Serve("PUT", "/v1/account/email", answer);
    refused.push_back(Put("new@x", pw));
  }
  struct Body {
    const char* contentType;
    std::string text;
    const char* error;
  } bodies[] = {
      {"application/x-yaml", "email: a@x\npassword: !!int " + pw,
       "Value *** for 'yaml' of type uint64_t is in an incorrect format"},
      {"application/x-yaml", "password: !!float " + pw,
       "Value *** for 'yaml' of type double is in an incorrect format"},
      {"application/x-yaml", "email: a@x\npassword: *" + pw,
       "Undefined alias encountered: \"***\". At line: 2 col: 11"},
      {"application/x-yaml", "password: !" + pw, "Unsupported YAML tag '***'."},
      {"application/x-yaml", "email: &" + pw + " a\npassword: &" + pw + " b",
       "Duplicate occurrence of anchor \"***\". At line: 2 col: 11"},
      {"application/json", R"({"password":")" + pw + "\"", nullptr},
      {"application/x-msgpack", "\x81\xa8password\xa9" + pw + "\x01", nullptr},
  };
  for (const Body& body : bodies) {
    refused.push_back(host.Call(kMethodPut, kEmailPath, body.contentType, body.text));
    if (body.error != nullptr) {
      EXPECT_EQ(refused.back().errorText, body.error);
    }
  }
  for (const host::CallResponse& r : refused) {
    EXPECT_TRUE(r.error);
    EXPECT_EQ(r.errorText.find(pw), std::string::npos) << r.errorText;
  }
  EXPECT_EQ(host.ExternalCalls().size(), 4u);
  EXPECT_TRUE(Published().empty());

  // A change before the first read is published; the read then replaces
  // the whole record.
  Serve("PUT", "/v1/account/email", Answer(204, ""));
  EXPECT_FALSE(Put("new@x", pw).error);
  EXPECT_EQ(Published(), Strings{Session("new@x", false, false)});
  EXPECT_EQ(Get().json, R"({"email":"old@x","emailVerified":true,"fatalError":false})");
  EXPECT_FALSE(Put("newer@x", pw).error);
  EXPECT_EQ(Published().back(), Session("newer@x", true, false));
  EXPECT_EQ(host.SentEvents().back().name, "OnJsonApiEvent");
  for (const host::LoggedLine& line : host.Lines())
    EXPECT_EQ(line.message.find(pw), std::string::npos);
  for (const host::SentEvent& event : host.SentEvents())
    EXPECT_EQ(event.payload.find(pw), std::string::npos);
}

void ZVM_CDECL LoadFeatureInProcess(PluginRegistration* registration) {
  Plugin::Register(new Client::EmailVerification::EmailVerificationPlugin, registration,
                   "qor-email-verification");
}

// In this process large allocations fail on demand: a message read without
// memory is unreadable like any other.
TEST_F(FeatureTest, MessagingNotifications) {
  ASSERT_TRUE(host.Register(&LoadFeatureInProcess));
  ASSERT_TRUE(host.Initialize());
  {
    BindingProperty data;
    // Its text is the blob's Base64, the one allocation of 4000 bytes.
    data.Member("payload").SetBlob(std::vector<uint8_t>(3000, 'x'));
    testing::FailingLargeAllocations failing(4000);
    host.DeliverResourceEvent(kMessagePath, "Update", data);
  }
  EXPECT_EQ(Errors().back(), kUnreadable);
  EXPECT_EQ(Published(), Strings{Session("", false, true)});

  const std::string parse = "Could not parse the emailStatus field";
  const std::string validated = R"({"emailStatus":"validated"})";
  const std::string twice = R"({"emailStatus":"validated","emailStatus":"x"})";
  struct Case {
    std::string payload;
    std::string error;  // empty: none
    bool published;
  } cases[] = {
      {R"({"emailStatus":"VALIDATED"})",
       "EmailVerification: Received an unexpected email status. It should always be 'validated', "
       "but we observed 'VALIDATED'",
       false},
      {R"({"other":1})", parse, false},
      {R"({"emailStatus":1})", parse, false},
      {R"({"emailStatus":null})", parse, false},
      {validated, "", true},
      {validated, "", true},
      {"", kUnreadable, true},
      {"[1]", kUnreadable + "[1]", true},
      {"{}{}", kUnreadable + "{}{}", true},
      {twice, kUnreadable + twice, true},
  };
  for (const Case& c : cases) {
    const std::size_t errors = Errors().size();
    const std::size_t published = Published().size();
    Message(c.payload);
    EXPECT_EQ(Errors().size(), errors + !c.error.empty()) << c.payload;
    if (!c.error.empty()) {
      EXPECT_EQ(Errors().back(), c.error);
    }
    EXPECT_EQ(Published().size(), published + c.published) << c.payload;
  }
  EXPECT_EQ(Published().back(), Session("", true, true));
  const std::size_t published = Published().size();
  Message(validated, "Delete");
  EXPECT_EQ(Published().size(), published);
}

// Many host threads call the endpoints while token and messaging events
// arrive: the lock order holds, the thread sanitizer sees no race, and the
// GET returns the record last published.
TEST_F(FeatureTest, ConcurrentCallsAndEventsKeepTheLockOrder) {
  Serve("GET", "/v1/account/status", Answer(200, R"({"email":"r@x","emailVerified":false})"));
  Serve("PUT", "/v1/account/email", Answer(204, ""));
  Serve("POST", "/v1/account/email/verification", Answer(200, ""));
  Start("t0");
  ASSERT_FALSE(Get().error);

  // A deadlock ends the process rather than hanging the run.
  std::promise<void> finished;
  std::thread watchdog([done = finished.get_future()] {
    if (done.wait_for(std::chrono::minutes(10)) != std::future_status::ready) std::abort();
  });
  std::vector<std::thread> callers;
  for (int t = 0; t < 8; ++t) {
    callers.emplace_back([this, t] {
      for (int i = 0; i < 1000; ++i) {
        const int call = (i + t) % 3;
        if (call == 0) Get();
        if (call == 1) Put("u" + std::to_string(t) + "-" + std::to_string(i) + "@x", "pw");
        if (call == 2) Post();
      }
    });
  }
  std::atomic<bool> calling{true};
  std::thread tokens([&] {
    for (int i = 0; calling; ++i)
      TokenEvent(i % 3 == 2 ? "Delete" : "Update", "t" + std::to_string(i));
  });
  std::thread messages([&] {
    const char* const payloads[] = {R"({"emailStatus":"validated"})", "{",
                                    R"({"emailStatus":"x"})"};
    for (int i = 0; calling; ++i) Message(payloads[i % 3]);
  });
  for (std::thread& caller : callers) caller.join();
  calling = false;
  tokens.join();
  messages.join();
  finished.set_value();
  watchdog.join();

  const host::CallResponse last = Get();
  const Strings published = Published();
  ASSERT_FALSE(published.empty());
  EXPECT_EQ(published.back(),
            R"({"data":)" + last.json +
                R"(,"eventType":"Update","uri":"/qor-email-verification/v1/email"})");
}

}  // namespace
}  // namespace Halden::feature_test
