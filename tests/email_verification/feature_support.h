// A host that plays the client's core around the real plugin library: the
// sign-on token, the messaging service, region and locale, the data store
// and the command line as resources, and a scripted remote service.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "api/method.h"
#include "formats/json_to_property.h"
#include "host/in_process_host.h"

namespace Halden::feature_test {

inline constexpr const char* kTokenPath = "/ksa-auth/v1/authorization/access-token";
inline constexpr const char* kMessagePath = "/halden-messaging-service/v1/message/account/v1/email";
inline constexpr const char* kEmailPath = "/qor-email-verification/v1/email";
inline constexpr const char* kConfirmPath = "/qor-email-verification/v1/confirm-email";
inline constexpr const char* kBuiltIn = "http://email-verification.dev.halden.local";

inline BindingProperty Json(const std::string& text) { return JsonToProperty(text.c_str()); }

inline host::ExternalAnswer Answer(uint32_t status, const std::string& body) {
  host::ExternalAnswer answer;
  answer.status = status;
  answer.body = body;
  return answer;
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
  void Serve(const std::string& method, const std::string& path, host::ExternalAnswer answer,
             const std::string& base = kBuiltIn) {
    std::lock_guard lock(serviceLock);
    service[method + " " + base + path] = std::move(answer);
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
  std::vector<std::string> Errors() const {
    std::vector<std::string> errors;
    for (const host::LoggedLine& line : host.Lines()) {
      if (line.level == 2) errors.push_back(line.message);
    }
    return errors;
  }

  // Payloads of the resource's Update events under its own name; each is
  // sent again as "OnJsonApiEvent".
  std::vector<std::string> Published() const {
    std::vector<std::string> payloads;
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

}  // namespace Halden::feature_test
