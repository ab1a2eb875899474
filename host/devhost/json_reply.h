// Answers of the development host's own making, as JSON.
#pragma once

#include <httplib.h>

#include <string>

#include "binding/property.h"

namespace Halden::devhost {

// Sets `body` written as compact JSON, what is not UTF-8 in its texts
// replaced, with the content type "application/json" and `status`.
void ReplyJson(httplib::Response& response, int status, const BindingProperty& body);

// The object {"message": <message>, "status": <status>} as compact JSON: the
// whole message, NULs included, with what is not UTF-8 in it replaced.
std::string MessageJson(int status, const std::string& message);

// Answers MessageJson(status, message) with `status`.
void ReplyMessage(httplib::Response& response, int status, const std::string& message);

}  // namespace Halden::devhost
