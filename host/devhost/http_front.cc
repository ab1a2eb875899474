#include "host/devhost/http_front.h"

#include <string_view>

#include "host/devhost/console_files.h"
#include "host/devhost/json_reply.h"
#include "host/devhost/openapi_document.h"
#include "logging/log_level.h"
#include "util/ascii_case.h"

namespace Halden::devhost {
namespace {

// Worker threads: each open event stream holds one.
constexpr std::size_t kThreads = 24;

uint32_t MethodCode(std::string_view method) {
  const char* const kNames[] = {"DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST", "PUT"};
  for (uint32_t i = 0; i < std::size(kNames); ++i) {
    if (method == kNames[i]) return i + 1;
  }
  return 0;
}

// The body, which the server has read whole already; a request with
// neither Content-Length nor chunks has none. False when reading failed:
// the library has set the answer's status then.
bool ReadBody(const httplib::ContentReader& reader, std::string& body) {
  return reader([&body](const char* data, std::size_t length) {
    body.append(data, length);
    return true;
  });
}

int ErrorStatus(uint32_t carried) {
  if (carried == 0) return 500;
  return carried >= 400 && carried <= 599 ? static_cast<int>(carried) : 502;
}

}  // namespace

HttpFront::HttpFront(host::InProcessHost& host, EventStream& events, Terminal& terminal,
                     std::size_t maxBody, std::string consoleDir)
    : host(host),
      events(events),
      terminal(terminal),
      server(kThreads, maxBody),
      consoleDir(std::move(consoleDir)) {}

void HttpFront::Start(HostControls& controls) {
  openApi = RenderOpenApi(host.Registration(), server.Url());
  httplib::Server& http = server.Http();
  server.SetLogger([this](const httplib::Request& request, const httplib::Response& response) {
    if (!terminal.Shows(kLogOkay)) return;
    terminal.Line(kLogOkay,
                  request.method + " " + request.target + " " + std::to_string(response.status));
  });
  http.Get("/", [this](const httplib::Request&, httplib::Response& response) {
    ServeConsoleFile(consoleDir, "index.html", response);
  });
  http.Get("/console/(.*)", [this](const httplib::Request& request, httplib::Response& response) {
    ServeConsoleFile(consoleDir, request.matches[1], response);
  });
  http.Get("/events", [this](const httplib::Request& request, httplib::Response& response) {
    events.Serve(request, response);
  });
  http.Get("/openapi.json", [this](const httplib::Request&, httplib::Response& response) {
    response.set_content(openApi, "application/json");
  });
  http.Get("/_host/.*", [&controls](const httplib::Request& request, httplib::Response& response) {
    controls.Handle(request, request.body, response);
  });
  http.Post("/_host/.*", [&controls](const httplib::Request& request, httplib::Response& response,
                                     const httplib::ContentReader& reader) {
    std::string body;
    if (ReadBody(reader, body)) controls.Handle(request, body, response);
  });
  auto call = [this](const httplib::Request& request, httplib::Response& response) {
    CallPlugin(request, request.body, response);
  };
  auto callWithBody = [this](const httplib::Request& request, httplib::Response& response,
                             const httplib::ContentReader& reader) {
    std::string body;
    if (ReadBody(reader, body)) CallPlugin(request, body, response);
  };
  http.Get(".*", call);
  http.Options(".*", call);
  http.Post(".*", callWithBody);
  http.Put(".*", callWithBody);
  http.Delete(".*", callWithBody);
  http.Patch(".*", callWithBody);
  server.Start();
}

void HttpFront::CallPlugin(const httplib::Request& request, const std::string& body,
                           httplib::Response& response) {
  host::CallRequest call;
  call.method = MethodCode(request.method);
  call.path = request.target;
  // The core hands header names over in lower case, as the dispatcher
  // looks them up.
  for (const auto& [name, value] : request.headers)
    call.headers.emplace_back(LowerAscii(name), value);
  call.contentType = request.get_header_value("Content-Type");
  call.body = body;
  call.hasBody = !body.empty();
  const host::CallResponse answer = host.Call(call);
  if (!answer.found) {
    ReplyMessage(response, 404, "No endpoint takes " + request.method + " " + request.path);
    return;
  }
  if (answer.error) {
    BindingProperty failure;
    failure.Member("message").SetString(answer.errorText);
    failure.Member("status").SetUnsigned(answer.status == 0 ? 500 : answer.status);
    ReplyJson(response, ErrorStatus(answer.status), failure);
    return;
  }
  for (const auto& [name, value] : answer.headers) response.set_header(name, value);
  const std::string& content = answer.streamed ? answer.streamedBody : answer.json;
  response.status = answer.status != 0 ? static_cast<int>(answer.status)
                    : content.empty()  ? 204
                                       : 200;
  if (!content.empty()) {
    const char* fallback = answer.streamed ? "application/octet-stream" : "application/json";
    response.set_content(content, answer.contentType.empty() ? fallback : answer.contentType);
  }
}

}  // namespace Halden::devhost
