// Derives names in upper camel case from a method and a path.
#pragma once

#include <string>
#include <string_view>

namespace Halden {

// The name of an endpoint function registered for method (a method name such
// as "GET", or empty) and path: GET with "/qor-email-verification/v1/email"
// gives "GetQorEmailVerificationV1Email", DELETE with "/v1/items/{itemId}"
// gives "DeleteV1ItemsByItemId". "!", "+", "-", ".", "/" and "_" separate
// words, whose first letter is capitalised; a placeholder reads "By" and its
// name. With an empty method it gives a plugin's type-name prefix:
// "qor-email-verification" gives "QorEmailVerification".
std::string CamelCaseName(std::string_view method, std::string_view path);

}  // namespace Halden
