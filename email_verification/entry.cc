// The library's one export.
#include <new>

#include "email_verification/email_verification_plugin.h"

extern "C" __attribute__((visibility("default"))) void ZVM_CDECL
load_qor_email_verification(Halden::PluginRegistration* registration) {
  using Halden::Client::EmailVerification::EmailVerificationPlugin;
  if (registration == nullptr) return;
  try {
    auto plugin = std::make_unique<EmailVerificationPlugin>();
    Halden::Plugin::Register(plugin.get(), registration, "qor-email-verification");
    plugin.release();  // the host owns it now, until Shutdown
  } catch (...) {
    // Without an instance in the record the host knows registration failed.
    registration->instance = nullptr;
    registration->callbacks = nullptr;
  }
}
