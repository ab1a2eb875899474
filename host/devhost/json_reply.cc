#include "host/devhost/json_reply.h"

#include "formats/property_to_json.h"

namespace Halden::devhost {

void ReplyJson(httplib::Response& response, int status, const BindingProperty& body) {
  response.status = status;
  response.set_content(PropertyToJson(body, nullptr, nullptr), "application/json");
}

void ReplyMessage(httplib::Response& response, int status, const std::string& message) {
  BindingProperty body;
  body.Member("message").SetString(message);
  body.Member("status").SetSigned(status);
  ReplyJson(response, status, body);
}

}  // namespace Halden::devhost
