#include "host/devhost/json_reply.h"

#include "formats/property_to_json.h"
#include "host/devhost/valid_utf8.h"

namespace Halden::devhost {

void ReplyJson(httplib::Response& response, int status, const BindingProperty& body) {
  response.status = status;
  response.set_content(ValidUtf8(PropertyToJson(body, nullptr, nullptr)), "application/json");
}

std::string MessageJson(int status, const std::string& message) {
  BindingProperty body;
  // Moved in, a text keeps its NULs.
  body.Member("message").SetString(ValidUtf8(message));
  body.Member("status").SetSigned(status);
  return PropertyToJson(body, nullptr, nullptr);
}

void ReplyMessage(httplib::Response& response, int status, const std::string& message) {
  response.status = status;
  response.set_content(MessageJson(status, message), "application/json");
}

}  // namespace Halden::devhost
