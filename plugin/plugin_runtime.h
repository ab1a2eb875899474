// The runtime layer of the plugin base: what the plugin needs of the host
// once it is connected (requests, events, subscriptions), reached through
// virtual forwarders that the Plugin layer binds to the host's table.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "binding/native_conversion.h"
#include "binding/property.h"
#include "boundary/host_interface.h"
#include "plugin/remote_response.h"
#include "plugin/request_result.h"
#include "plugin/resource_subscriber.h"

namespace Halden {

class BindingRegistry;

// Named values sent with a request, converted to host values on the way.
using RequestParameters = std::vector<std::pair<std::string, BindingProperty>>;

class PluginRuntime : public ResourceSubscriber {
 public:
  virtual ~PluginRuntime();

  // Removes every subscription and handler this runtime holds with the host.
  virtual void Stop();

  // Forwarders to the host's function table, arguments passed unchanged.
  virtual void HostRequest(JsonApiResponse* response, const JsonApiRequest* request) = 0;
  virtual void HostExternalRequest(ExternalResponseRecord* response,
                                   const ExternalRequestRecord* request) = 0;
  virtual void HostSendEvent(const HostEvent* event) = 0;
  virtual void HostSubscribe(const char* eventName, uintptr_t hostToken, HostEventCallback callback,
                             uintptr_t userData, uint32_t kind) = 0;
  virtual void HostUnsubscribe(const char* eventName, uintptr_t hostToken) = 0;
  virtual void HostReserved(uint32_t a, uint32_t b, uint32_t c, double d, uint32_t e) = 0;
  virtual void HostYield() = 0;
  virtual void HostBeginWait(const char* label, uint32_t word) = 0;
  virtual void HostEndWait() = 0;

  // The runtime's cooperative wait: lets the host run other work.
  void Wait();

  // Requests to the host's local JSON API, on the calling thread. Failures
  // come back as an ApiError, never as an exception: "Error response for
  // {method} {url}: {error}" with the host's status when the host reports an
  // error; "Request not sent: Error converting parameters for {method} {url}:
  // {error}" with status 400 when a parameter cannot cross; "Error reading
  // streamed response for {method} {url}: {error}" and "Error converting
  // response for {method} {url}: {error}" when the body cannot be read as T.
  // The host's response is released after use.
  RequestResult<> Request(uint32_t method, const std::string& url);
  template <typename T>
  RequestResult<T> Request(uint32_t method, const std::string& url);
  RequestResult<> RequestWithParameters(uint32_t method, const std::string& url,
                                        const RequestParameters& parameters);

  // An HTTP request carried by the host, its body read as JSON into T (see
  // RemoteResponseStatus for what the result reports). Never throws.
  template <typename T>
  RemoteResponse<T> ExternalRequest(const RemoteRequest& request);
  // The same with the body kept as text.
  RemoteResponse<std::string> ExternalTextRequest(const RemoteRequest& request);

  const std::string& UserAgent() const { return userAgent; }
  const std::string& ShortName() const { return shortName; }
  uintptr_t HostToken() const { return hostToken; }

 protected:
  // Keeps what the runtime needs once the host has initialized the plugin.
  void Connect(uintptr_t token, const std::string& name, const std::string& agent);
  void UseRegistry(BindingRegistry* types) { registry = types; }

  BindingRegistry* registry = nullptr;
  uintptr_t hostToken = 0;
  std::string shortName;
  std::string userAgent;

 private:
  // Sends the request and leaves the host's answer in `response`; the caller
  // uses and releases it (ReleaseResponse).
  RequestResult<> Send(uint32_t method, const std::string& url, const RequestParameters& parameters,
                       JsonApiResponse& response);
  static void ReleaseResponse(JsonApiResponse& response);
  // The body of a successful answer, streamed or as a value.
  RequestResult<BindingProperty> ReadBody(uint32_t method, const std::string& url,
                                          JsonApiResponse& response);
  bool ReadStream(const JsonApiResponse& response, std::string& text);
  RequestResult<BindingProperty> RequestProperty(uint32_t method, const std::string& url);
  static ApiError ConversionError(uint32_t method, const std::string& url,
                                  const std::string& error);

  // Carries `request` and fills `out`; the body is parsed as JSON into
  // `json` when not null, copied into `text` otherwise. `label` is the
  // request's "METHOD url".
  void SendExternal(const RemoteRequest& request, RemoteResponseStatus& out, BindingResult* json,
                    std::string* text, std::string& label);
  static void ConvertFailed(RemoteResponseStatus& out, const std::string& label,
                            const char* typeName, const std::string& error);
};

template <typename T>
RequestResult<T> PluginRuntime::Request(uint32_t method, const std::string& url) {
  RequestResult<BindingProperty> body = RequestProperty(method, url);
  if (!body.Ok()) return body.Error();
  if constexpr (std::is_same_v<T, BindingProperty>) {
    return std::move(body.Value());
  } else {
    try {
      T value{};
      const BindingResult converted =
          ConvertFromProperty(*registry, body.Value(), value, "<result>");
      if (!converted.Ok()) return ConversionError(method, url, converted.Error());
      return value;
    } catch (const std::exception& e) {
      return ConversionError(method, url, e.what());
    }
  }
}

template <typename T>
RemoteResponse<T> PluginRuntime::ExternalRequest(const RemoteRequest& request) {
  RemoteResponse<T> response;
  BindingResult json;
  std::string label;
  SendExternal(request, response, &json, nullptr, label);
  if (response.parseError != 0) return response;
  try {
    const BindingResult converted =
        ConvertFromProperty(*registry, json, response.value, "<result>");
    response.conversionError = converted.Ok() ? 0 : 1;
    if (!converted.Ok()) {
      const BindingTypeDescriptor* type = TypeRefOf<T>(*registry).descriptor;
      ConvertFailed(response, label,
                    type != nullptr ? type->name.c_str() : TypeCodeName(TypeCodeOf<T>()),
                    converted.Error());
    }
  } catch (const std::exception& e) {
    response.conversionError = 1;
    ConvertFailed(response, label, "", e.what());
  }
  return response;
}

}  // namespace Halden
