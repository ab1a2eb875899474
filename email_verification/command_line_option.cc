#include "email_verification/command_line_option.h"

namespace Halden::Client::EmailVerification {

std::optional<std::string> FindCommandLineOption(const std::string& name,
                                                 const std::vector<std::string>& arguments) {
  const std::string prefix = (name.starts_with("--") ? name : "--" + name) + "=";
  for (const std::string& argument : arguments) {
    if (argument.starts_with(prefix)) return argument.substr(prefix.size());
  }
  return std::nullopt;
}

}  // namespace Halden::Client::EmailVerification
