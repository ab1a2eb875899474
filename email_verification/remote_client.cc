// The remote email-verification service: the token cache and the three
// requests, carried by the host.
#include "email_verification/email_verification_plugin.h"

namespace Halden::Client::EmailVerification {
namespace {

// Seconds, the host's unit.
constexpr uint32_t kRemoteTimeout = 30;
constexpr uint32_t kRemoteFurtherWord = 1;

}  // namespace

template <typename T>
RemoteResponse<T> EmailVerificationPlugin::SendRemote(uint32_t method, const char* path,
                                                      const std::string* body) {
  const std::string url = ServiceUrl() + path;
  std::lock_guard lock(tokenLock);
  if (!accessToken) {
    RemoteResponse<T> missing;
    missing.status = 500;
    missing.error = "No KSA id token available";
    return missing;
  }
  RemoteRequest request;
  request.method = method;
  request.url = url;
  request.headers.emplace_back("Authorization", "Bearer " + accessToken->token);
  if (body != nullptr) {
    request.headers.emplace_back("Content-Type", "application/json");
    request.body = *body;
  }
  request.timeout = kRemoteTimeout;
  request.further = kRemoteFurtherWord;
  if constexpr (std::is_same_v<T, std::string>) {
    return ExternalTextRequest(request);
  } else {
    return ExternalRequest<T>(request);
  }
}

RemoteResponse<Api::RemoteEmailSession> EmailVerificationPlugin::FetchRemoteStatus() {
  return SendRemote<Api::RemoteEmailSession>(kMethodGet, "/v1/account/status", nullptr);
}

RemoteResponse<std::string> EmailVerificationPlugin::PutRemoteEmail(const std::string& body) {
  return SendRemote<std::string>(kMethodPut, "/v1/account/email", &body);
}

RemoteResponse<std::string> EmailVerificationPlugin::PostRemoteVerification(
    const std::string& body) {
  return SendRemote<std::string>(kMethodPost, "/v1/account/email/verification", &body);
}

void EmailVerificationPlugin::OnAccessToken(const ResourceEvent<Api::AccessToken>& event) {
  std::lock_guard lock(tokenLock);
  // An empty token would go out as a bare "Bearer ": it is no token.
  if (event.eventType == PluginResourceEventType::Delete || event.data.token.empty()) {
    accessToken.reset();
  } else {
    accessToken = event.data;
  }
}

}  // namespace Halden::Client::EmailVerification
