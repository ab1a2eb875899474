#include "host/devhost/http_front.h"

#include <functional>
#include <string_view>
#include <utility>

#include "api/method.h"
#include "api/route.h"
#include "boundary/api_table.h"
#include "formats/content_type.h"
#include "host/devhost/console_files.h"
#include "host/devhost/json_reply.h"
#include "host/devhost/openapi_document.h"
#include "host/devhost/raw_path.h"
#include "host/devhost/read_ahead_server.h"
#include "host/devhost/valid_utf8.h"
#include "logging/log_level.h"

namespace Halden::devhost {
namespace {

// Worker threads: each open event stream holds one.
constexpr std::size_t kThreads = 24;

// The methods that `request`'s path takes, for the Allow header of a 405;
// empty when no method does. The host's own pages are read only.
std::string AllowedMethods(const ApiTable* table, const httplib::Request& request) {
  const std::string& path = request.path;
  if (path == "/" || path == "/events" || path == "/openapi.json" ||
      path.starts_with("/console/")) {
    return "GET, HEAD";
  }
  const std::string raw = RawPath(request);
  std::string allowed;
  for (uint32_t code = kMethodDelete; code <= kMethodPut; ++code) {
    for (uint32_t i = 0; table != nullptr && i < table->entryCount; ++i) {
      const ApiEndpointEntry& entry = table->entries[i];
      const char* name = entry.pathTemplate != nullptr ? entry.pathTemplate : "";
      if (entry.method == code && MatchRoute({code, "", raw}, MakeRoute(code, "", name))) {
        allowed += (allowed.empty() ? "" : ", ") + std::string(MethodName(code));
        break;
      }
    }
  }
  return allowed;
}

// The dispatcher's refusal of a body it cannot read, which names no type
// and carries no status.
constexpr std::string_view kUnsupportedBody = "Unsupported body content type";
constexpr int kUnsupportedMediaType = 415;

std::string UnsupportedBodyText(const std::string& contentType) {
  std::string types;
  const std::size_t count = std::size(kRequestBodyTypes);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) types += i + 1 < count ? ", " : " or ";
    types += kRequestBodyTypes[i].name;
  }
  return std::string(kUnsupportedBody) + " " +
         (contentType.empty() ? "(none given)" : "'" + contentType + "'") + ": send the body as " +
         types;
}

// Routes the methods the library knows for `pattern` to `answer`, with the
// request's body as it came. The server has framed it whole already; the
// library reads no body of a GET or OPTIONS, and a multipart one only into
// its form fields, so its reader is never asked.
void RouteEveryMethod(
    httplib::Server& http, const std::string& pattern,
    const std::function<void(const httplib::Request&, std::string&&, httplib::Response&)>& answer) {
  auto plain = [answer](const httplib::Request& request, httplib::Response& response) {
    const FramedRequest* framed = ReadAheadServer::Framed();
    answer(request, framed != nullptr ? std::string(framed->body) : std::string(), response);
  };
  auto withBody = [plain](const httplib::Request& request, httplib::Response& response,
                          const httplib::ContentReader&) { plain(request, response); };
  http.Get(pattern, plain);
  http.Options(pattern, plain);
  http.Post(pattern, withBody);
  http.Put(pattern, withBody);
  http.Delete(pattern, withBody);
  http.Patch(pattern, withBody);
}

// Answers 503 with why the plugin cannot be reached, when it cannot.
bool Refused(const PluginGate::Pass& pass, httplib::Response& response) {
  if (!pass) ReplyMessage(response, 503, pass.Refusal());
  return !pass;
}

// The HTTP status of an error the plugin answered with the status
// `carried`. Without one (0, none set: the framework's refusals of a call,
// and handlers that set none) the host cannot tell whose mistake it was and
// answers 500, but for a content type the dispatcher does not read, which is
// the caller's: 415.
int ErrorStatus(uint32_t carried, bool unsupportedBody) {
  if (carried == 0) return unsupportedBody ? kUnsupportedMediaType : 500;
  return carried >= 400 && carried <= 599 ? static_cast<int>(carried) : 502;
}

}  // namespace

HttpFront::HttpFront(LoadedPlugin& plugin, EventStream& events, Terminal& terminal,
                     std::size_t maxBody, std::string consoleDir)
    : plugin(plugin),
      events(events),
      terminal(terminal),
      server(kThreads, maxBody),
      consoleDir(std::move(consoleDir)) {}

void HttpFront::Start(HostControls& controls) {
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
  // Rendered at each request: a reloaded plugin may describe another API.
  http.Get("/openapi.json", [this](const httplib::Request&, httplib::Response& response) {
    const PluginGate::Pass pass = plugin.Enter();
    if (Refused(pass, response)) return;
    response.set_content(RenderOpenApi(plugin.Host().Registration(), server.Url()),
                         "application/json");
  });
  // Every method goes to the controls, which answer a wrong one with 405.
  RouteEveryMethod(
      http, "/_host/.*",
      [&controls](const httplib::Request& request, std::string&& body,
                  httplib::Response& response) { controls.Handle(request, body, response); });
  RouteEveryMethod(
      http, ".*",
      [this](const httplib::Request& request, std::string&& body, httplib::Response& response) {
        CallPlugin(request, std::move(body), response);
      });
  server.Start();
}

void HttpFront::CallPlugin(const httplib::Request& request, std::string body,
                           httplib::Response& response) {
  host::CallRequest call;
  call.method = MethodCode(request.method);
  const FramedRequest* framed = ReadAheadServer::Framed();
  call.path = framed != nullptr ? framed->target : request.target;
  // The core hands header names over in lower case, values as they came:
  // the library's own list decodes percent escapes in values, drops empty
  // ones and adds the connection's addresses.
  if (framed != nullptr) call.headers = framed->fields;
  for (const auto& [name, value] : call.headers) {
    if (name == "content-type") {
      call.contentType = value;
      break;
    }
  }
  call.hasBody = !body.empty();
  call.body = std::move(body);
  const PluginGate::Pass pass = plugin.Enter();
  if (Refused(pass, response)) return;
  const host::CallResponse answer = plugin.Call(call);
  if (!answer.found) {
    const std::string allowed = AllowedMethods(plugin.Host().Table(), request);
    const std::string text = "No endpoint takes " + request.method + " " + RawPath(request);
    if (allowed.empty()) {
      ReplyMessage(response, 404, text);
    } else {
      response.set_header("Allow", allowed);
      ReplyMessage(response, 405, text + "; it takes " + allowed);
    }
    return;
  }
  if (answer.error) {
    const bool unsupportedBody = answer.errorText.ends_with(kUnsupportedBody);
    const int status = ErrorStatus(answer.status, unsupportedBody);
    BindingProperty failure;
    failure.Member("message").SetString(unsupportedBody ? UnsupportedBodyText(call.contentType)
                                                        : answer.errorText);
    failure.Member("status").SetUnsigned(answer.status != 0 ? answer.status
                                                            : static_cast<uint32_t>(status));
    ReplyJson(response, status, failure);
    return;
  }
  for (const auto& [name, value] : answer.headers) response.set_header(name, value);
  const std::string& content = answer.streamed ? answer.streamedBody : answer.json;
  response.status = answer.status != 0 ? static_cast<int>(answer.status)
                    : content.empty()  ? 204
                                       : 200;
  if (answer.streamed && !content.empty()) {
    response.set_content(
        content, answer.contentType.empty() ? "application/octet-stream" : answer.contentType);
  } else if (!content.empty()) {
    // The tree may hold any bytes the plugin was given, a stored address
    // among them.
    response.set_content(ValidUtf8(content),
                         answer.contentType.empty() ? "application/json" : answer.contentType);
  }
}

}  // namespace Halden::devhost
