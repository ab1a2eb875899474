// The records the feature exchanges with the outside world.
#pragma once

#include <cstdint>
#include <string>

namespace Halden::Client::EmailVerification::Api {

// What the local email resource reports.
struct EmailSession {
  std::string email;
  bool emailVerified = false;
  bool fatalError = false;
};

// The remote service's answer to the account status request.
struct RemoteEmailSession {
  std::string email;
  bool emailVerified = false;
};

// A request to change the address; the password is forwarded, never kept.
struct EmailUpdate {
  std::string email;
  std::string password;
};

// The sign-on plugin's access token; the expiry is kept, not interpreted.
struct AccessToken {
  std::string token;
  uint64_t expiry = 0;
};

}  // namespace Halden::Client::EmailVerification::Api

namespace Halden::Client::EmailVerification {

// The messaging service's email message payload.
struct ValidationStatus {
  std::string emailStatus;
};

// The host's region and locale.
struct RegionLocale {
  std::string region;
  std::string locale;
  std::string webRegion;
  std::string webLanguage;
};

}  // namespace Halden::Client::EmailVerification
