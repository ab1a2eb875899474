// The email verification plugin: serves the signed-in account's email and
// its verification state, and keeps them in step with the remote service.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "email_verification/records.h"
#include "plugin/plugin.h"

namespace Halden::Client::EmailVerification {

// The development instance of the remote service, used until the data store
// or the command line names another.
inline constexpr const char* kBuiltInServiceUrl = "http://email-verification.dev.halden.local";

class EmailVerificationPlugin : public Plugin {
 public:
  EmailVerificationPlugin() = default;
  ~EmailVerificationPlugin() override = default;

  void RegisterApi() override;
  bool Start() override;

 private:
  // Lock order: sessionLock before tokenLock.
  std::mutex tokenLock;
  std::optional<Api::AccessToken> accessToken;
  std::mutex sessionLock;
  Api::EmailSession session;
  bool sessionLoaded = false;
  std::string serviceUrl = kBuiltInServiceUrl;
  RegionLocale regionLocale;
};

}  // namespace Halden::Client::EmailVerification
