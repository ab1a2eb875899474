// Scenarios of the email verification feature, played through the real
// library: given host state, calls and events; the responses, events, log
// lines and remote requests that follow. The host plays the client's core:
// the sign-on token, the messaging service, region and locale, the data
// store and the command line as resources, and a scripted remote service.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <mutex>
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
constexpr const char* kConfirmPath = "/qor-email-verification/v1/confirm-email";
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
  void SetUp() override {
    host.SetExternalHandler([this](const host::ExternalCall& call) {
      std::lock_guard lock(serviceLock);
      const auto found = service.find(MethodName(call.method) + std::string(" ") + call.url);
      return found != service.end() ? found->second : Answer(404, "no such service path");
    });
  }

  // The remote service answers `method` on the built-in URL plus `path`.
  void Serve(const std::string& method, const std::string& path, host::ExternalAnswer answer) {
    std::lock_guard lock(serviceLock);
    service[method + " " + kBuiltIn + path] = std::move(answer);
  }

  void SignedInAtStart(const std::string& token) {
    host.SetResourceBody(kTokenPath, Json(R"({"token":")" + token + R"(","expiry":5000000000})"));
  }

  void Start() {
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
  host::CallResponse Post() { return host.Call(kMethodPost, kConfirmPath); }

  // Messages the plugin logged as errors.
  Strings Errors() const {
    Strings errors;
    for (const host::LoggedLine& line : host.Lines()) {
      if (line.level == 2) errors.push_back(line.message);
    }
    return errors;
  }

  // Payloads of the resource's Update events under its own name; each is
  // sent again as "OnJsonApiEvent".
  Strings Published() const {
    Strings payloads;
    for (const host::SentEvent& event : host.SentEvents()) {
      if (event.name == "OnJsonApiEvent_qor-email-verification_v1_email") {
        payloads.push_back(event.payload);
      }
    }
    return payloads;
  }

  static std::string Session(const std::string& email, bool verified, bool fatal) {
    return R"({"data":{"email":")" + email + R"(","emailVerified":)" +
           (verified ? "true" : "false") + R"(,"fatalError":)" + (fatal ? "true" : "false") +
           R"(},"eventType":"Update","uri":"/qor-email-verification/v1/email"})";
  }

  host::InProcessHost host;
  std::mutex serviceLock;
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
    for (const host::LoggedLine& line : caseHost.Lines()) {
      if (line.level == 2 && line.message.starts_with("Failed")) errors.push_back(line.message);
    }
    EXPECT_EQ(errors, c.error ? Strings{c.error} : Strings{}) << c.url;
  }
}

// The host answers nothing until a token comes; the status is then fetched
// once.
TEST_F(FeatureTest, StatusIsFetchedOnceATokenIsThere) {
  Serve("GET", "/v1/account/status", Answer(200, R"({"email":"a@x","emailVerified":true})"));
  Start();
  EXPECT_EQ(Errors(),
            (Strings{"Failed to get regionSettings", "Failed to get globalUserSettings"}));
  host::CallResponse response = Get();
  EXPECT_EQ(response.status, 500u);
  EXPECT_EQ(response.errorText, kNoToken);
  EXPECT_EQ(Errors().back(), response.errorText);
  // The API table lists the three endpoints.
  Strings names;
  for (uint32_t i = 0; i < host.Table()->entryCount; ++i) {
    names.push_back(host.Table()->entries[i].function.name);
  }
  EXPECT_EQ(names,
            (Strings{"GetQorEmailVerificationV1Email", "PostQorEmailVerificationV1ConfirmEmail",
                     "PutQorEmailVerificationV1Email"}));
  TokenEvent("Update", "tok-1");
  response = Get();
  EXPECT_FALSE(response.error) << response.errorText;
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

// A sign-out delivered while the first read of the token is on its way: the
// read is older than the sign-out and must not bring the token back.
TEST_F(FeatureTest, ASignOutDuringTheFirstReadOfTheTokenHolds) {
  SignedInAtStart("old");
  bool signedOut = false;
  host.SetRequestHook([&](const std::string& url) {
    if (url != kTokenPath || signedOut) return;
    signedOut = true;
    std::thread([this] {
      host.DeliverResourceEvent(kTokenPath, "Delete", BindingProperty());
    }).join();
  });
  Start();
  EXPECT_TRUE(signedOut);
  EXPECT_EQ(Get().errorText, kNoToken);
  EXPECT_TRUE(host.ExternalCalls().empty());
}

// A token without text is no token: nothing goes out as a bare "Bearer ".
TEST_F(FeatureTest, AnEmptyTokenIsNoToken) {
  SignedInAtStart("t");
  Start();
  for (const char* type : {"Update", "Create"}) {
    TokenEvent("Update", "t");
    host.DeliverResourceEvent(kTokenPath, type, Json("{}"));
    EXPECT_EQ(Get().status, 500u) << type;
  }
  EXPECT_TRUE(host.ExternalCalls().empty());
}

TEST_F(FeatureTest, ChangingTheEmail) {
  Serve("GET", "/v1/account/status", Answer(200, R"({"email":"old@x","emailVerified":true})"));
  Start();
  host::CallResponse response = Put("new@x", "pw");
  EXPECT_EQ(response.status, 500u);
  EXPECT_EQ(response.errorText, "");
  EXPECT_EQ(Errors().back(), "email-verification: ");

  TokenEvent("Create", "t");
  Serve("PUT", "/v1/account/email", Answer(400, "Wrong password"));
  response = Put("new@x", "pw");
  EXPECT_EQ(response.status, 400u);
  EXPECT_EQ(response.errorText, "Wrong password");
  EXPECT_EQ(Errors().back(), "email-verification: Wrong password");
  const host::ExternalCall call = host.ExternalCalls().back();
  EXPECT_EQ(call.body, "{\r\n    \"email\": \"new@x\",\r\n    \"password\": \"pw\"\r\n}");
  EXPECT_EQ(call.headers.back(),
            (std::pair<std::string, std::string>{"Content-Type", "application/json"}));

  // A change before the first read is published; the read then replaces
  // the whole record.
  Serve("PUT", "/v1/account/email", Answer(204, ""));
  EXPECT_FALSE(Put("new@x", "pw").error);
  EXPECT_EQ(Published(), Strings{Session("new@x", false, false)});
  EXPECT_EQ(Get().json, R"({"email":"old@x","emailVerified":true,"fatalError":false})");
  EXPECT_FALSE(Put("newer@x", "pw").error);
  EXPECT_EQ(Published().back(), Session("newer@x", true, false));
  EXPECT_EQ(host.SentEvents().back().name, "OnJsonApiEvent");
}

TEST_F(FeatureTest, RequestingTheVerificationMail) {
  host.SetResourceBody(
      "/haldenclient/region-locale",
      Json(R"({"region":"EU","locale":"en_US","webRegion":"eu","webLanguage":"en"})"));
  SignedInAtStart("t");
  Serve("POST", "/v1/account/email/verification", Answer(200, ""));
  Start();
  EXPECT_FALSE(Post().error);
  EXPECT_EQ(host.ExternalCalls().back().body, "{\r\n    \"locale\": \"en_us\"\r\n}");
  EXPECT_TRUE(Published().empty());
  TokenEvent("Delete", "");
  host::CallResponse response = Post();
  EXPECT_EQ(response.status, 500u);
  EXPECT_EQ(response.errorText,
            "EmailVerification: Error setting changed email: No KSA id token available");
  EXPECT_EQ(host.ExternalCalls().size(), 1u);
}

TEST_F(FeatureTest, MessagingNotifications) {
  Start();
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
  EXPECT_EQ(Published()[0], Session("", true, false));
  EXPECT_EQ(Published().back(), Session("", true, true));
  const std::size_t published = Published().size();
  Message(validated, "Delete");
  EXPECT_EQ(Published().size(), published);
}

TEST_F(FeatureTest, ThePasswordGoesNowhereButTheRemoteBody) {
  const std::string password = "s3cret-Pw";
  Start();
  std::vector<host::CallResponse> responses{Put("a@x", password)};  // no token
  TokenEvent("Update", "t");
  // The last one never reached the service.
  for (const host::ExternalAnswer& answer :
       {Answer(400, "Password is wrong"), Answer(500, ""),
        host::ExternalAnswer{.transport = 7, .headers = {}, .body = "connection refused"}}) {
    Serve("PUT", "/v1/account/email", answer);
    responses.push_back(Put("a@x", password));
    EXPECT_TRUE(responses.back().error);
  }
  // Bodies that fail to read quote nothing of what they hold, whatever the
  // format; the same texts elsewhere are quoted (the dispatch tests).
  struct Body {
    const char* contentType;
    std::string text;
    const char* error;
  } bodies[] = {
      {"application/x-yaml", "email: a@x\npassword: !!int " + password,
       "Value *** for 'yaml' of type uint64_t is in an incorrect format"},
      {"application/x-yaml", "password: !!float " + password,
       "Value *** for 'yaml' of type double is in an incorrect format"},
      {"application/x-yaml", "email: a@x\npassword: *" + password,
       "Undefined alias encountered: \"***\". At line: 2 col: 11"},
      {"application/x-yaml", "password: !" + password, "Unsupported YAML tag '***'."},
      {"application/x-yaml", "email: &" + password + " a\npassword: &" + password + " b",
       "Duplicate occurrence of anchor \"***\". At line: 2 col: 11"},
      {"application/json", R"({"password":")" + password + "\"", nullptr},
      {"application/x-msgpack", "\x81\xa8password\xa9" + password + "\x01", nullptr},
  };
  for (const Body& body : bodies) {
    responses.push_back(host.Call(kMethodPut, kEmailPath, body.contentType, body.text));
    EXPECT_TRUE(responses.back().error) << body.text;
    if (body.error != nullptr) {
      EXPECT_EQ(responses.back().errorText, body.error);
    }
  }
  for (const host::CallResponse& r : responses)
    EXPECT_EQ(r.errorText.find(password), std::string::npos) << r.errorText;
  for (const host::LoggedLine& line : host.Lines())
    EXPECT_EQ(line.message.find(password), std::string::npos);
  for (const host::SentEvent& event : host.SentEvents())
    EXPECT_EQ(event.payload.find(password), std::string::npos);
  EXPECT_EQ(host.ExternalCalls().size(), 3u);
}

void ZVM_CDECL LoadFeatureInProcess(PluginRegistration* registration) {
  Plugin::Register(new Client::EmailVerification::EmailVerificationPlugin, registration,
                   "qor-email-verification");
}

// Reading a message may run out of memory, which the library cannot be made
// to do from here: the feature runs in the test's own process, whose large
// allocations fail on demand. The message is unreadable like any other.
TEST_F(FeatureTest, AMessageReadWithoutMemoryIsAFatalError) {
  ASSERT_TRUE(host.Register(&LoadFeatureInProcess));
  ASSERT_TRUE(host.Initialize());
  BindingProperty data;
  // Its text is the blob's Base64, the one allocation of 4000 bytes.
  data.Member("payload").SetBlob(std::vector<uint8_t>(3000, 'x'));
  {
    testing::FailingLargeAllocations failing(4000);
    host.DeliverResourceEvent(kMessagePath, "Update", data);
  }
  EXPECT_EQ(Errors().back(), kUnreadable);
  EXPECT_EQ(Published(), Strings{Session("", false, true)});
}

// Many host threads call the endpoints while token and messaging events
// arrive: the lock order holds (a deadlock ends the process), the thread
// sanitizer sees no race, and the record the GET returns is the one last
// published.
TEST_F(FeatureTest, ConcurrentCallsAndEventsKeepTheLockOrder) {
  Serve("GET", "/v1/account/status", Answer(200, R"({"email":"r@x","emailVerified":false})"));
  Serve("PUT", "/v1/account/email", Answer(204, ""));
  Serve("POST", "/v1/account/email/verification", Answer(200, ""));
  SignedInAtStart("t0");
  Start();
  ASSERT_FALSE(Get().error);

  std::promise<void> finished;
  std::thread watchdog([done = finished.get_future()] {
    if (done.wait_for(std::chrono::minutes(10)) != std::future_status::ready) {
      std::fprintf(stderr, "watchdog: the calls did not finish; a deadlock?\n");
      std::abort();
    }
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
  ASSERT_FALSE(last.error) << last.errorText;
  const std::vector<std::string> published = Published();
  ASSERT_FALSE(published.empty());
  EXPECT_EQ(published.back(),
            R"({"data":)" + last.json +
                R"(,"eventType":"Update","uri":"/qor-email-verification/v1/email"})");
}

}  // namespace
}  // namespace Halden::feature_test
