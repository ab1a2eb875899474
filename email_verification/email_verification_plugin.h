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

// The local resource the plugin serves and publishes.
inline constexpr const char* kEmailResource = "/qor-email-verification/v1/email";

class EmailVerificationPlugin : public Plugin {
 public:
  EmailVerificationPlugin() = default;
  ~EmailVerificationPlugin() override = default;

  // Registers the six records, then the three endpoints.
  void RegisterApi() override;
  // Observes the access token and the messaging service's email message,
  // reads region and locale, and settles the service URL: the built-in
  // endpoint, the region's entry in the data store, the command-line option,
  // in rising precedence. Always true.
  bool Start() override;

 private:
  // The local resource.
  ApiResult<Api::EmailSession> GetEmail();
  ApiResponse PutEmail(const Api::EmailUpdate& update);
  ApiResponse PostConfirmEmail();
  // Announces the session as an Update of the resource; the caller holds
  // sessionLock.
  void PublishSession();

  // The remote service, one request at a time under tokenLock, with the
  // cached token as bearer token; without a token nothing is sent and the
  // answer is a made-up failure with status 500.
  RemoteResponse<Api::RemoteEmailSession> FetchRemoteStatus();
  RemoteResponse<std::string> PutRemoteEmail(const std::string& body);
  RemoteResponse<std::string> PostRemoteVerification(const std::string& body);
  template <typename T>
  RemoteResponse<T> SendRemote(uint32_t method, const char* path, const std::string* body);
  void OnAccessToken(const ResourceEvent<Api::AccessToken>& event);

  // The messaging service's email message.
  void OnEmailMessage(const ResourceEvent<BindingProperty>& event);

  // The service URL and the region and locale, as handlers see them.
  std::string ServiceUrl();
  std::string Locale();

  // Lock order: sessionLock before tokenLock.
  std::mutex tokenLock;
  std::optional<Api::AccessToken> accessToken;
  std::mutex sessionLock;
  Api::EmailSession session;
  bool sessionLoaded = false;
  // Written once by Start while endpoints may already be called, so they are
  // read and written under their own lock.
  std::mutex settingsLock;
  std::string serviceUrl = kBuiltInServiceUrl;
  RegionLocale regionLocale;
};

}  // namespace Halden::Client::EmailVerification
