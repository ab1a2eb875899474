// The start sequence: the two observers, region and locale, and the service
// URL from the built-in endpoint, the data store and the command line.
#include <optional>

#include "email_verification/command_line_option.h"
#include "email_verification/email_verification_plugin.h"
#include "logging/log_system.h"

namespace Halden::Client::EmailVerification {
namespace {

constexpr uint64_t kFeatureGroups = 0x41;

}  // namespace

bool EmailVerificationPlugin::Start() {
  ObserveResource<Api::AccessToken>(
      "/ksa-auth/v1/authorization/access-token",
      [this](const ResourceEvent<Api::AccessToken>& event) { OnAccessToken(event); });
  ObserveResource<BindingProperty>(
      "/halden-messaging-service/v1/message/account/v1/email",
      [this](const ResourceEvent<BindingProperty>& event) { OnEmailMessage(event); });

  RequestResult<RegionLocale> region =
      Request<RegionLocale>(kMethodGet, "/haldenclient/region-locale");
  if (region.Ok()) {
    std::lock_guard lock(settingsLock);
    regionLocale = region.Value();
  }

  RequestResult<BindingProperty> regionData =
      Request<BindingProperty>(kMethodGet, "/data-store/v1/system-settings/region_data");
  if (!regionData.Ok()) Log(kLogError, kFeatureGroups, "%s", "Failed to get regionSettings");
  RequestResult<BindingProperty> globals =
      Request<BindingProperty>(kMethodGet, "/data-store/v1/install-settings/globals");
  if (!globals.Ok()) Log(kLogError, kFeatureGroups, "%s", "Failed to get globalUserSettings");
  if (regionData.Ok() && globals.Ok()) {
    const std::string installRegion = globals.Value().Find("region").ToText();
    const BindingProperty& entry =
        regionData.Value().Find(installRegion).Find("servers").Find("email_verification");
    if (!entry.IsEmpty()) {
      std::lock_guard lock(settingsLock);
      serviceUrl = entry.Find("external_url").ToText();
    }
  }

  RequestResult<std::vector<std::string>> arguments =
      Request<std::vector<std::string>>(kMethodGet, "/haldenclient/command-line-args");
  if (arguments.Ok()) {
    std::optional<std::string> url =
        FindCommandLineOption("email-verification.hostname", arguments.Value());
    if (url) {
      std::lock_guard lock(settingsLock);
      serviceUrl = *url;
    }
  }
  return true;
}

}  // namespace Halden::Client::EmailVerification
