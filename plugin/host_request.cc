// The runtime's requests through the host: to the host's local JSON API and
// to external HTTP servers.
#include <algorithm>
#include <cstring>
#include <exception>
#include <string_view>

#include "api/method.h"
#include "binding/host_value_conversion.h"
#include "formats/json_to_property.h"
#include "logging/trace.h"
#include "plugin/plugin_runtime.h"
#include "util/format.h"

namespace Halden {
namespace {

constexpr uint32_t kChunkSize = 4096;
// A host's announced body length is only a hint: at most this much is
// reserved before the data arrives.
constexpr uint32_t kMaxReserve = 1024 * 1024;

uint32_t MethodCode(uint32_t method) { return method >= 1 && method <= kMethodNamed ? method : 0; }

ApiError Failure(uint32_t status, std::string_view templateText, uint32_t method,
                 const std::string& url, const std::string& error) {
  return ApiError::FromTemplate(
      status, templateText,
      {LogValue::Text(MethodName(method)), LogValue::Text(url), LogValue::Text(error)});
}

bool IsUserAgent(std::string_view name) {
  constexpr std::string_view kName = "user-agent";
  return name.size() == kName.size() &&
         std::equal(name.begin(), name.end(), kName.begin(),
                    [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b; });
}

// Every host code but -1, 0 and 2 counts as 1.
int32_t TransportCode(int32_t code) { return code == -1 || code == 0 || code == 2 ? code : 1; }

}  // namespace

RequestResult<> PluginRuntime::Send(uint32_t method, const std::string& url,
                                    const RequestParameters& parameters,
                                    JsonApiResponse& response) {
  std::vector<HostParameter> values(parameters.size(), HostParameter{});
  // The converted parameters are ours to free, whatever happens.
  struct Owned {
    std::vector<HostParameter>& values;
    ~Owned() {
      for (HostParameter& parameter : values) ReleaseHostValue(parameter.value);
    }
  } owned{values};
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    values[i].name = parameters[i].first.c_str();
    if (!PropertyToHostValue(parameters[i].second, values[i].value, registry)) {
      return Failure(
          400, "Request not sent: Error converting parameters for {method} {url}: {error}", method,
          url, FormatMessage("Parameter '%1' nests too deeply", parameters[i].first));
    }
  }
  JsonApiRequest request{};
  request.method = MethodCode(method);
  request.url = url.c_str();
  request.parameters = values.empty() ? nullptr : values.data();
  request.parameterCount = static_cast<uint32_t>(values.size());
  request.hostToken = hostToken;
  std::memset(&response, 0, sizeof response);
  HostRequest(&response, &request);
  if (response.errorText != nullptr) {
    return Failure(response.status, "Error response for {method} {url}: {error}", method, url,
                   response.errorText);
  }
  return std::monostate();
}

void PluginRuntime::ReleaseResponse(JsonApiResponse& response) {
  if (response.release != nullptr) response.release(&response);
}

RequestResult<> PluginRuntime::Request(uint32_t method, const std::string& url) {
  return RequestWithParameters(method, url, {});
}

RequestResult<> PluginRuntime::RequestWithParameters(uint32_t method, const std::string& url,
                                                     const RequestParameters& parameters) {
  JsonApiResponse response{};
  try {
    RequestResult<> result = Send(method, url, parameters, response);
    ReleaseResponse(response);
    return result;
  } catch (const std::exception& e) {
    ReleaseResponse(response);
    return Failure(500, "Error response for {method} {url}: {error}", method, url, e.what());
  }
}

RequestResult<BindingProperty> PluginRuntime::RequestProperty(uint32_t method,
                                                              const std::string& url) {
  JsonApiResponse response{};
  try {
    RequestResult<> sent = Send(method, url, {}, response);
    if (!sent.Ok()) {
      ReleaseResponse(response);
      return sent.Error();
    }
    RequestResult<BindingProperty> body = ReadBody(method, url, response);
    ReleaseResponse(response);
    return body;
  } catch (const std::exception& e) {
    ReleaseResponse(response);
    return ConversionError(method, url, e.what());
  }
}

RequestResult<BindingProperty> PluginRuntime::ReadBody(uint32_t method, const std::string& url,
                                                       JsonApiResponse& response) {
  if (response.streamRead != nullptr) {
    std::string text;
    std::string error;
    const bool read = ReadStream(response, text, error);
    BindingResult parsed;
    if (read) parsed = JsonToProperty(text.c_str());
    if (!read || !parsed.Ok()) {
      return Failure(0, "Error reading streamed response for {method} {url}: {error}", method, url,
                     read ? parsed.Error() : error);
    }
    return std::move(static_cast<BindingProperty&>(parsed));
  }
  BindingProperty body;
  JsonApiResponse errorRecord{};
  if (!HostValueToProperty(response.body, body, "<result>", &errorRecord)) {
    const std::string error = errorRecord.errorText != nullptr ? errorRecord.errorText : "";
    delete[] errorRecord.errorText;
    return ConversionError(method, url, error);
  }
  return body;
}

bool PluginRuntime::ReadStream(const JsonApiResponse& response, std::string& text,
                               std::string& error) {
  // The host's stream is closed on every way out, a failure to keep its
  // data included.
  struct Close {
    const JsonApiResponse& response;
    ~Close() {
      if (response.streamClose != nullptr) response.streamClose(response.streamHandle);
    }
  } close{response};
  try {
    const uint32_t expected = response.expectedLength;
    text.reserve(std::min(expected, kMaxReserve));
    char chunk[kChunkSize];
    bool moreData = true;
    while (true) {
      uint32_t length = kChunkSize;
      if (!response.streamRead(response.streamHandle, chunk, &length, &moreData) ||
          length > kChunkSize) {
        error = "Stream read error";
        return false;
      }
      text.append(chunk, length);
      if (!moreData) return true;
      if (length < kChunkSize) Wait();
    }
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

ApiError PluginRuntime::ConversionError(uint32_t method, const std::string& url,
                                        const std::string& error) {
  return Failure(0, "Error converting response for {method} {url}: {error}", method, url, error);
}

RemoteResponse<std::string> PluginRuntime::ExternalTextRequest(const RemoteRequest& request) {
  RemoteResponse<std::string> response;
  std::string label;
  SendExternal(request, response, nullptr, &response.value, label);
  return response;
}

void PluginRuntime::SendExternal(const RemoteRequest& request, RemoteResponseStatus& out,
                                 BindingResult* json, std::string* text, std::string& label) {
  ExternalResponseRecord response{};
  try {
    std::vector<HostHeaderPair> headers;
    headers.reserve(request.headers.size() + 1);
    const bool hasAgent = std::any_of(request.headers.begin(), request.headers.end(),
                                      [](const auto& header) { return IsUserAgent(header.first); });
    if (!hasAgent) headers.push_back({"user-agent", userAgent.c_str()});
    for (const auto& [name, value] : request.headers)
      headers.push_back({name.c_str(), value.c_str()});
    ExternalRequestRecord record{};
    record.method = MethodCode(request.method);
    record.url = request.url.c_str();
    record.headers = headers.data();
    record.headerCount = static_cast<uint32_t>(headers.size());
    record.body = request.body.empty() ? nullptr : request.body.data();
    record.bodyLength = static_cast<uint32_t>(request.body.size());
    record.timeout = request.timeout;
    record.further = request.further;
    HostExternalRequest(&response, &record);
    label = FormatMessage("%1 %2", MethodName(request.method), request.url);

    // Only the body's own bytes are read, never up to a NUL beyond them.
    const std::string_view body =
        response.body != nullptr ? std::string_view(response.body, response.bodyLength) : "";
    out.transport = TransportCode(response.transport);
    if (out.transport != 0) {
      out.error = body;
      Trace("%s: Couldn't connect to %s: %d - %s", shortName.c_str(), request.url.c_str(),
            response.transport, out.error.c_str());
    } else {
      out.status = response.status;
      if (response.headerCount != 0 && response.headers == nullptr) {
        out.parseError = 1;
        out.error = FormatMessage("Error converting response for %1: headers was null", label);
        Trace("%s: Couldn't convert external request headers to %s: %s", shortName.c_str(),
              label.c_str(), out.error.c_str());
      } else {
        for (uint32_t i = 0; i < response.headerCount; ++i) {
          if (response.headers[i].name == nullptr) continue;
          const char* value = response.headers[i].value;
          out.headers[response.headers[i].name] = value != nullptr ? value : "";
        }
      }
      const bool headersRead = out.parseError != 1;
      if (json != nullptr) {
        if (body.empty()) {
          out.parseError = 1;
          if (out.error.empty()) {
            out.error = FormatMessage("Error converting response for %1: body was empty", label);
          }
        } else {
          *json = JsonToProperty(std::string(body).c_str());
          if (!json->Ok()) {
            out.parseError = 1;
            if (out.error.empty()) {
              out.error =
                  FormatMessage("Error deserializing json response for %1: %2 given body %3", label,
                                json->Error(), std::string(body));
            }
            Trace("%s: Couldn't convert external request body to %s: %s", shortName.c_str(),
                  label.c_str(), out.error.c_str());
          } else if (headersRead) {
            out.parseError = 0;
          }
        }
      } else if (response.bodyLength != 0 && response.body == nullptr) {
        out.parseError = 1;
        if (out.error.empty()) {
          out.error = FormatMessage("Error converting response for %1: body was null", label);
        }
      } else {
        *text = body;
        if (headersRead) out.parseError = 0;
      }
    }
  } catch (const std::exception& e) {
    if (out.error.empty()) out.error = e.what();
    if (out.transport == 0) out.parseError = 1;
  }
  if (response.release != nullptr) response.release(&response);
}

void PluginRuntime::ConvertFailed(RemoteResponseStatus& out, const std::string& label,
                                  const char* typeName, const std::string& error) {
  if (out.error.empty()) {
    out.error = FormatMessage("Error converting response for %1 to %2: %3", label, typeName, error);
  }
}

}  // namespace Halden
