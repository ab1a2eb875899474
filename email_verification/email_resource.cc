// The local resource /qor-email-verification/v1/email and the confirmation
// request.
#include <string>

#include "email_verification/email_verification_plugin.h"
#include "formats/property_to_json.h"
#include "logging/log_system.h"
#include "util/ascii_case.h"

namespace Halden::Client::EmailVerification {
namespace {

constexpr uint64_t kFeatureGroups = 0x41;
// The remote service reads pretty JSON with Windows line breaks.
constexpr const char* kBodyLineBreak = "\r\n";

ApiResponse Failure(uint32_t status, const std::string& message) {
  Log(kLogError, kFeatureGroups, "%s", message.c_str());
  return ApiResponse::Error(status, message);
}

}  // namespace

ApiResult<Api::EmailSession> EmailVerificationPlugin::GetEmail() {
  std::lock_guard lock(sessionLock);
  if (!sessionLoaded) {
    const RemoteResponse<Api::RemoteEmailSession> remote = FetchRemoteStatus();
    if (!remote.Succeeded()) {
      return Failure(remote.status,
                     "EmailVerification: Email verification status fetch failure: " + remote.error);
    }
    session = {remote.value.email, remote.value.emailVerified, false};
    sessionLoaded = true;
  }
  return session;
}

ApiResponse EmailVerificationPlugin::PutEmail(const Api::EmailUpdate& update) {
  std::lock_guard lock(sessionLock);
  const std::string body =
      PropertyToJson(ConvertToProperty(Types(), update), &Types(), kBodyLineBreak);
  const RemoteResponse<std::string> remote = PutRemoteEmail(body);
  if (!remote.Succeeded()) {
    // The service's own text, as it sent it.
    Log(kLogError, kFeatureGroups, "email-verification: %s", remote.value.c_str());
    return ApiResponse::Error(remote.status, remote.value);
  }
  session.email = update.email;
  PublishSession();
  return ApiResponse::Ok();
}

ApiResponse EmailVerificationPlugin::PostConfirmEmail() {
  std::lock_guard lock(sessionLock);
  BindingProperty request;
  request.Member("locale").SetString(LowerAscii(Locale()));
  const RemoteResponse<std::string> remote =
      PostRemoteVerification(PropertyToJson(request, &Types(), kBodyLineBreak));
  if (!remote.Succeeded()) {
    return Failure(remote.status,
                   "EmailVerification: Error setting changed email: " + remote.error);
  }
  return ApiResponse::Ok();
}

void EmailVerificationPlugin::PublishSession() { PublishResource(kEmailResource, session); }

}  // namespace Halden::Client::EmailVerification
