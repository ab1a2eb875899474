#include "host/devhost/session_records.h"

#include "api/method.h"
#include "formats/json_to_property.h"
#include "host/devhost/valid_utf8.h"
#include "logging/log_level.h"

namespace Halden::devhost {
namespace {

constexpr const char* kHexDigits = "0123456789abcdef";

// Bodies are bytes: most are text, a MessagePack one is not, and a record
// must be JSON. A text read back ends at its first NUL, so bytes with one go
// as hexadecimal too.
void SetBytes(BindingProperty& record, const std::string& bytes) {
  if (bytes.find('\0') == std::string::npos && ValidUtf8(bytes) == bytes) {
    record.Member("body").SetString(bytes);
    return;
  }
  std::string hex;
  for (const unsigned char byte : bytes) {
    hex += kHexDigits[byte >> 4];
    hex += kHexDigits[byte & 15];
  }
  record.Member("bodyHex").SetString(hex);
}

std::string GetBytes(const BindingProperty& record) {
  const BindingProperty& hex = record.Find("bodyHex");
  if (hex.IsEmpty()) return record.Find("body").ToText();
  const std::string& digits = hex.GetString();
  auto value = [](char digit) { return digit <= '9' ? digit - '0' : digit - 'a' + 10; };
  std::string bytes;
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
    bytes += static_cast<char>(value(digits[i]) << 4 | value(digits[i + 1]));
  }
  return bytes;
}

void SetHeaders(BindingProperty& record, const host::HeaderList& headers) {
  BindingProperty& list = record.Member("headers").MakeCollection();
  for (const auto& [name, value] : headers) {
    BindingProperty& pair = list.Append().MakeCollection();
    pair.Append().SetString(name);
    pair.Append().SetString(value);
  }
}

host::HeaderList GetHeaders(const BindingProperty& record) {
  host::HeaderList headers;
  const BindingProperty& list = record.Find("headers");
  for (uint32_t i = 0; list.GetKind() == BindingPropertyKind::Collection && i < list.Size(); ++i) {
    headers.emplace_back(list.Element(i).Element(0).ToText(), list.Element(i).Element(1).ToText());
  }
  return headers;
}

// A JSON text the host made of a host value; the text itself where it does
// not read, as "<error>" texts do.
BindingProperty JsonValue(const std::string& json) {
  BindingResult value = JsonToProperty(json.c_str());
  if (value.Ok()) return BindingProperty(std::move(value));
  BindingProperty text;
  text.SetString(json);
  return text;
}

}  // namespace

BindingProperty ActionRecord(const char* kind) {
  BindingProperty record;
  record.Member("kind").SetString(kind);
  return record;
}

BindingProperty InitializedRecord(bool ok, const PluginRegistration& plugin,
                                  const std::vector<host::HostSubscription>& subscriptions) {
  BindingProperty record = ActionRecord("initialized");
  record.Member("ok").SetBool(ok);
  record.Member("plugin").SetString(
      std::string(plugin.shortName != nullptr ? plugin.shortName : "") + " " +
      std::to_string(plugin.pluginMajor) + "." + std::to_string(plugin.pluginMinor) + "." +
      std::to_string(plugin.pluginPatch));
  BindingProperty& list = record.Member("subscriptions").MakeCollection();
  for (const host::HostSubscription& subscription : subscriptions) {
    BindingProperty& pair = list.Append().MakeCollection();
    pair.Append().SetString(subscription.name);
    pair.Append().SetUnsigned(subscription.kind);
  }
  return record;
}

BindingProperty CallRecord(const host::CallRequest& request) {
  BindingProperty record = ActionRecord("call");
  record.Member("method").SetString(request.method == kMethodNamed ? request.methodName
                                                                   : MethodName(request.method));
  record.Member("path").SetString(request.path);
  SetHeaders(record, request.headers);
  record.Member("contentType").SetString(request.contentType);
  if (request.hasBody) SetBytes(record, request.body);
  return record;
}

host::CallRequest CallFromRecord(const BindingProperty& record) {
  host::CallRequest request;
  const std::string method = record.Find("method").ToText();
  request.method = MethodCode(method);
  if (request.method == 0) {
    request.method = kMethodNamed;
    request.methodName = method;
  }
  request.path = record.Find("path").ToText();
  request.headers = GetHeaders(record);
  request.contentType = record.Find("contentType").ToText();
  request.hasBody = !record.Find("body").IsEmpty() || !record.Find("bodyHex").IsEmpty();
  request.body = GetBytes(record);
  return request;
}

BindingProperty ResponseRecord(const host::CallResponse& response) {
  BindingProperty record = ActionRecord("response");
  record.Member("found").SetBool(response.found);
  record.Member("status").SetUnsigned(response.status);
  record.Member("error").SetBool(response.error);
  if (response.error) record.Member("errorText").SetString(response.errorText);
  record.Member("contentType").SetString(response.contentType);
  SetHeaders(record, response.headers);
  if (!response.json.empty()) record.Member("json") = JsonValue(response.json);
  if (response.streamed) SetBytes(record, response.streamedBody);
  return record;
}

BindingProperty DeliverRecord(const std::string& name, uint32_t kind,
                              const BindingProperty& payload) {
  BindingProperty record = ActionRecord("deliver");
  record.Member("name").SetString(name);
  record.Member("eventKind").SetUnsigned(kind);
  record.Member("payload") = payload;
  return record;
}

BindingProperty ReadRecord(const host::RecordedRequest& request,
                           const host::ResourceAnswer& answer) {
  BindingProperty record = ActionRecord("read");
  record.Member("method").SetString(MethodName(request.method));
  record.Member("url").SetString(request.url);
  record.Member("parameters") = JsonValue(request.parameters);
  BindingProperty& answered = record.Member("answer");
  answered.Member("status").SetUnsigned(answer.status);
  if (answer.fails) {
    answered.Member("error").SetString(answer.error);
  } else if (answer.stream) {
    SetBytes(answered, answer.streamed);
  } else {
    answered.Member("json") = answer.body;
  }
  return record;
}

host::ResourceAnswer ReadAnswerFromRecord(const BindingProperty& record) {
  const BindingProperty& answered = record.Find("answer");
  host::ResourceAnswer answer;
  answer.status = static_cast<uint32_t>(answered.Find("status").GetUnsigned());
  if (!answered.Find("error").IsEmpty()) {
    answer.fails = true;
    answer.error = answered.Find("error").ToText();
  } else if (!answered.Find("body").IsEmpty() || !answered.Find("bodyHex").IsEmpty()) {
    answer.stream = true;
    answer.streamed = GetBytes(answered);
    answer.expectedLength = static_cast<uint32_t>(answer.streamed.size());
  } else {
    answer.body = answered.Find("json");
  }
  return answer;
}

BindingProperty ExternalRecord(const host::ExternalCall& call, const host::ExternalAnswer& answer) {
  BindingProperty record = ActionRecord("external");
  record.Member("method").SetString(MethodName(call.method));
  record.Member("url").SetString(call.url);
  SetHeaders(record, call.headers);
  if (!call.nullBody) SetBytes(record, call.body);
  record.Member("timeout").SetUnsigned(call.timeout);
  record.Member("further").SetUnsigned(call.further);
  BindingProperty& answered = record.Member("answer");
  answered.Member("transport").SetSigned(answer.transport);
  answered.Member("status").SetUnsigned(answer.status);
  SetHeaders(answered, answer.headers);
  SetBytes(answered, answer.body);
  return record;
}

host::ExternalAnswer ExternalAnswerFromRecord(const BindingProperty& record) {
  const BindingProperty& answered = record.Find("answer");
  host::ExternalAnswer answer;
  // JSON reads a number without a sign as unsigned.
  const BindingProperty& transport = answered.Find("transport");
  answer.transport = static_cast<int32_t>(transport.GetKind() == BindingPropertyKind::Signed
                                              ? transport.GetSigned()
                                              : transport.GetUnsigned());
  answer.status = static_cast<uint32_t>(answered.Find("status").GetUnsigned());
  answer.headers = GetHeaders(answered);
  answer.body = GetBytes(answered);
  return answer;
}

BindingProperty SentRecord(const host::SentEvent& event) {
  BindingProperty record = ActionRecord("send");
  record.Member("name").SetString(event.name);
  record.Member("eventKind").SetUnsigned(event.kind);
  record.Member("payload") = JsonValue(event.payload);
  return record;
}

BindingProperty LogRecord(const host::LoggedLine& line) {
  BindingProperty record = ActionRecord("log");
  const std::string level = LevelName(line.level);
  record.Member("level").SetString(level.substr(level.find_first_not_of(' ')));
  record.Member("text").SetString(line.message);
  return record;
}

}  // namespace Halden::devhost
