#include "email_verification/email_verification_plugin.h"

namespace Halden::Client::EmailVerification {

void EmailVerificationPlugin::RegisterApi() {}

bool EmailVerificationPlugin::Start() { return true; }

}  // namespace Halden::Client::EmailVerification
