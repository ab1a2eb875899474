// The library's one export.
#include "email_verification/email_verification_plugin.h"
#include "plugin/plugin_entry.h"

extern "C" __attribute__((visibility("default"))) void ZVM_CDECL
load_qor_email_verification(Halden::PluginRegistration* registration) {
  Halden::RegisterNewPlugin<Halden::Client::EmailVerification::EmailVerificationPlugin>(
      registration, "qor-email-verification");
}
