#include "email_verification/email_verification_plugin.h"

#include "binding/registration.h"

namespace Halden::Client::EmailVerification {

void EmailVerificationPlugin::RegisterApi() {
  BindingRegistry& types = Types();
  const std::string& prefix = TypeNamePrefix();
  auto tagged = [this](BindingTypeBuilder& builder) {
    for (const std::string& tag : DocumentationTags()) builder.AddTag(tag);
  };
  tagged(RegisterStruct<Api::EmailSession>(types, prefix + "EmailVerificationSession")
             .Field("email", &Api::EmailSession::email)
             .Field("emailVerified", &Api::EmailSession::emailVerified)
             .Field("fatalError", &Api::EmailSession::fatalError)
             .Builder());
  tagged(RegisterStruct<Api::RemoteEmailSession>(types, prefix + "RemoteEmailVerificationSession")
             .Field("email", &Api::RemoteEmailSession::email)
             .Field("emailVerified", &Api::RemoteEmailSession::emailVerified)
             .Builder());
  tagged(RegisterStruct<Api::EmailUpdate>(types, prefix + "EmailUpdate")
             .Field("email", &Api::EmailUpdate::email)
             .Field("password", &Api::EmailUpdate::password, "", kBindingFieldSecret)
             .Builder());
  tagged(RegisterStruct<Api::AccessToken>(types, prefix + "AccessToken")
             .Field("token", &Api::AccessToken::token)
             .Field("expiry", &Api::AccessToken::expiry)
             .Builder());
  tagged(RegisterStruct<ValidationStatus>(types, prefix + "ValidationStatus")
             .Field("emailStatus", &ValidationStatus::emailStatus)
             .Builder());
  tagged(RegisterStruct<RegionLocale>(types, prefix + "RegionLocale")
             .Field("region", &RegionLocale::region)
             .Field("locale", &RegionLocale::locale)
             .Field("webRegion", &RegionLocale::webRegion)
             .Field("webLanguage", &RegionLocale::webLanguage)
             .Builder());

  Endpoint(kMethodGet, kEmailResource, &EmailVerificationPlugin::GetEmail);
  Endpoint(kMethodPut, kEmailResource, &EmailVerificationPlugin::PutEmail).Body("EmailUpdate");
  Endpoint(kMethodPost, "/qor-email-verification/v1/confirm-email",
           &EmailVerificationPlugin::PostConfirmEmail);
}

std::string EmailVerificationPlugin::ServiceUrl() {
  std::lock_guard lock(settingsLock);
  return serviceUrl;
}

std::string EmailVerificationPlugin::Locale() {
  std::lock_guard lock(settingsLock);
  return regionLocale.locale;
}

}  // namespace Halden::Client::EmailVerification
