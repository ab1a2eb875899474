// Finding an option on the client's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace Halden::Client::EmailVerification {

// The value of the first argument of the form "--<name>=<value>" ("--" is
// not doubled when `name` has it), compared byte for byte; nothing when no
// argument has that form. An argument that is the prefix alone gives the
// empty text; the name without "=" does not count.
std::optional<std::string> FindCommandLineOption(const std::string& name,
                                                 const std::vector<std::string>& arguments);

}  // namespace Halden::Client::EmailVerification
