// The messaging service's messages about the account's email address.
#include <exception>

#include "email_verification/email_verification_plugin.h"
#include "formats/json_reader.h"
#include "logging/log_system.h"

namespace Halden::Client::EmailVerification {
namespace {

constexpr uint64_t kFeatureGroups = 0x41;

}  // namespace

void EmailVerificationPlugin::OnEmailMessage(const ResourceEvent<BindingProperty>& event) {
  if (event.eventType == PluginResourceEventType::Delete) return;
  std::string payload;
  json::Element document;
  try {
    payload = event.data.Find("payload").ToText();
    json::Reader::Read(payload.c_str(), document);
  } catch (const std::exception&) {
    Log(kLogError, kFeatureGroups, "EmailVerification: Failed deserializing an OMX message: %s",
        payload.c_str());
    std::lock_guard lock(sessionLock);
    session.fatalError = true;
    PublishSession();
    return;
  }
  const json::Element& status = document.AsObject()["emailStatus"];
  if (!status.IsString()) {
    Log(kLogError, kFeatureGroups, "Could not parse the emailStatus field");
    return;
  }
  const std::string& text = status.AsString().Value();
  if (text != "validated") {
    const std::string message =
        "EmailVerification: Received an unexpected email status. It should always be "
        "'validated', but we observed '" +
        text + "'";
    Log(kLogError, kFeatureGroups, "%s", message.c_str());
    return;
  }
  std::lock_guard lock(sessionLock);
  session.emailVerified = true;
  PublishSession();
}

}  // namespace Halden::Client::EmailVerification
