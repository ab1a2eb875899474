#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "binding/registration.h"
#include "formats/json_to_property.h"
#include "formats/property_to_json.h"
#include "host/in_process_host.h"
#include "plugin/memory_stats.h"
#include "plugin/plugin.h"

namespace Halden {
namespace {

enum class Mode : int32_t { Off = 0, On = 1 };

struct Setting {
  std::string name;
  Mode mode = Mode::Off;
};

class RequestingPlugin : public Plugin {
 public:
  void RegisterApi() override {
    RegisterEnum<Mode>(Types(), "Mode").Value("Off", Mode::Off).Value("On", Mode::On);
    RegisterStruct<Setting>(Types(), "Setting")
        .Field("name", &Setting::name)
        .Field("mode", &Setting::mode);
  }
  // Host calls that fail, before or after the host answered.
  void HostYield() override {
    if (failYield) throw std::runtime_error("yield failed");
    Plugin::HostYield();
  }
  void HostRequest(JsonApiResponse* response, const JsonApiRequest* request) override {
    if (failRequest) throw std::runtime_error("request failed");
    Plugin::HostRequest(response, request);
    if (failAfterAnswer) throw std::runtime_error("failed after the answer");
    if (answerKind != 0) response->body.kind = answerKind;
  }
  void HostExternalRequest(ExternalResponseRecord* response,
                           const ExternalRequestRecord* request) override {
    if (failRequest) throw std::runtime_error("external request failed");
    Plugin::HostExternalRequest(response, request);
  }

  bool failYield = false;
  bool failRequest = false;
  bool failAfterAnswer = false;
  int32_t answerKind = 0;  // a scalar answer's kind, replaced
};

void ZVM_CDECL LoadRequestingPlugin(PluginRegistration* registration) {
  Plugin::Register(new RequestingPlugin, registration, "requesting");
}

BindingProperty Json(const char* text) { return JsonToProperty(text); }

class HostRequest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.Register(&LoadRequestingPlugin));
    ASSERT_TRUE(host.Initialize(0xab));
    plugin = static_cast<RequestingPlugin*>(host.Registration().instance);
  }
  // Every answer the host filled, on every path a test took, was released.
  void TearDown() override { EXPECT_EQ(host::InProcessHost::UnreleasedResponses(), 0); }

  long Count(const std::string& call) const { return std::ranges::count(host.Calls(), call); }

  host::InProcessHost host;
  RequestingPlugin* plugin = nullptr;
};

TEST_F(HostRequest, TypedAnswersAndTheirFailures) {
  host.SetResourceBody("/setting", Json(R"({"name":"a","mode":"On","other":1})"));
  RequestResult<Setting> setting = plugin->Request<Setting>(kMethodGet, "/setting?x=1");
  ASSERT_TRUE(setting.Ok()) << setting.Error().message;
  EXPECT_EQ(setting.Value().name, "a");
  EXPECT_EQ(setting.Value().mode, Mode::On);
  const host::RecordedRequest sent = host.Requests().back();
  EXPECT_EQ(std::tuple(sent.method, sent.url, sent.hostToken),
            std::tuple(kMethodGet, std::string("/setting?x=1"), 0xabu));

  host.SetResourceBody("/setting", Json(R"({"mode":"Sideways"})"));
  setting = plugin->Request<Setting>(kMethodGet, "/setting");
  EXPECT_EQ(setting.Error().message,
            "Error converting response for GET /setting: Sideways is not a valid Mode enumeration "
            "value for 'mode'.");
  EXPECT_EQ(setting.Error().status + setting.Error().fields.count("errorCode_int"), 0u);

  // An answer of a kind the plugin does not know.
  host.SetResourceBody("/setting", Json("1"));
  plugin->answerKind = 99;
  EXPECT_EQ(plugin->Request<BindingProperty>(kMethodGet, "/setting").Error().message,
            "Error converting response for GET /setting: Couldn't assign value to '<result>' of "
            "type object because the input is of an incompatible type ''.");
  plugin->answerKind = 0;

  host.SetResourceError("/setting", 503, "");
  RequestResult<> plain = plugin->Request(kMethodDelete, "/setting");
  ASSERT_FALSE(plain.Ok());
  EXPECT_EQ(host.Requests().back().method, kMethodDelete);
  const ApiError& error = plain.Error();
  EXPECT_EQ(error.message, "Error response for DELETE /setting: ");
  EXPECT_EQ(error.status, 503u);
  EXPECT_EQ(error.fields.at("method").text, "DELETE");
  EXPECT_EQ(error.fields.at("url").text, "/setting");
  EXPECT_EQ(error.fields.at("errorCode_int").unsignedInteger, 503u);
  EXPECT_EQ(plugin->Request<BindingProperty>(kMethodGet, "/missing").Error().message,
            "Error response for GET /missing: Resource not found");
  // Parameters go with the request; one too deep for a host value stops it.
  RequestParameters parameters{{"q", Json("[1]")}, {"e\"", BindingProperty()}};
  plugin->RequestWithParameters(kMethodGet, "/setting", parameters);
  EXPECT_EQ(host.Requests().back().parameters, R"({"q":[1],"e\"":null})");
  BindingProperty* deep = &parameters[0].second;
  for (int i = 0; i < 600; ++i) deep = &deep->Append();
  const RequestResult<> refused = plugin->RequestWithParameters(kMethodGet, "/setting", parameters);
  EXPECT_EQ(refused.Error().status, 400u);
  EXPECT_EQ(refused.Error().message,
            "Request not sent: Error converting parameters for GET /setting: Parameter 'q' nests "
            "too deeply");
  // A telemetry event is a POST with the event's name, which the host takes.
  EXPECT_TRUE(plugin->Telemetry()->PostTelemetryEvent("started", {{"n", Json("1")}}).get().Ok());
  EXPECT_EQ(host.Requests().back().method, kMethodPost);
  EXPECT_EQ(host.TelemetryPosts(),
            (std::vector<std::pair<std::string, std::string>>{{"started", R"({"n":1})"}}));
  // An unknown method goes as 0; the named method, the highest code, is known.
  plugin->Request(99, "/setting");
  EXPECT_EQ(host.Requests().back().method, 0u);
  plugin->Request(kMethodNamed, "/setting");
  EXPECT_EQ(host.Requests().back().method, kMethodNamed);
  plugin->failAfterAnswer = true;
  EXPECT_EQ(plugin->Request(kMethodGet, "/setting").Error().status, 500u);
  EXPECT_EQ(plugin->Request<BindingProperty>(kMethodGet, "/setting").Error().message,
            "Error converting response for GET /setting: failed after the answer");
}

TEST_F(HostRequest, StreamedAnswers) {
  const std::string padded = "[" + std::string(9000, ' ') + "1]";
  // The announced length is a hint only.
  const auto streamed = [](const std::string& text, uint32_t chunkSize, uint32_t overReport = 0,
                           uint32_t failAtChunk = 0) {
    return host::ResourceAnswer{{},   false,     "",          200,         true,
                                text, chunkSize, 4000000000u, failAtChunk, overReport};
  };
  // Full chunks with more to come are read again at once; a short chunk
  // with more to come waits for the host first. The body as JSON, or the
  // error after "...GET /s: ", and the waits.
  const std::tuple<host::ResourceAnswer, const char*, long> cases[] = {
      {streamed("[" + std::string(4094, ' ') + "]", 4096), "[]", 0},
      {streamed(padded, 4096), "[1]", 0},
      {streamed(padded, 1000), "[1]", 9},
      {streamed(padded, 4096, 1), "Stream read error", 0},
      {streamed(padded, 4096, 0, 2), "Stream read error", 0},
      {streamed("[1,", 4096), "Error: Invalid value. at offset 3.", 0},
  };
  for (const auto& [answer, expected, yields] : cases) {
    host.SetResource("/s", answer);
    const long before = Count("Yield");
    RequestResult<BindingProperty> body = plugin->Request<BindingProperty>(kMethodGet, "/s");
    EXPECT_EQ(
        body.Ok() ? PropertyToJson(body.Value(), nullptr, "") : body.Error().message.substr(44),
        expected)
        << answer.streamed.size();
    EXPECT_EQ(Count("Yield") - before, yields) << answer.streamed.size();
  }
  // The untyped request does not read the body.
  host.SetResource("/s", streamed(padded, 4096, 1));
  EXPECT_TRUE(plugin->Request(kMethodGet, "/s").Ok());
  host.SetResource("/s", streamed(padded, 2));
  plugin->failYield = true;
  const ApiError unread = plugin->Request<BindingProperty>(kMethodGet, "/s").Error();
  EXPECT_EQ(unread.message, "Error reading streamed response for GET /s: yield failed");
  EXPECT_EQ(unread.status, 0u);
  // Every stream read above was closed, after success and failure alike.
  EXPECT_EQ(Count("StreamClose"), 7);
}

TEST_F(HostRequest, ExternalRequestsAndTheirFailures) {
  host::ExternalAnswer answer{.headers = {{"h", "v"}}, .body = R"({"name":"n","mode":1})"};
  host.SetExternalHandler([&](const host::ExternalCall&) { return answer; });
  RemoteRequest request{kMethodPut, "http://svc/x", {{"User", "1"}}, "{}", 30, 1};
  RemoteResponse<Setting> typed = plugin->ExternalRequest<Setting>(request);
  EXPECT_TRUE(typed.Succeeded()) << typed.error;
  EXPECT_EQ(typed.value.mode, Mode::On);
  EXPECT_EQ(typed.headers.at("h"), "v");
  const host::ExternalCall call = host.ExternalCalls().back();
  EXPECT_EQ(call.headers,
            (host::HeaderList{{"user-agent", "HaldenClient/18.0.0 (requesting)"}, {"User", "1"}}));
  EXPECT_EQ(call.body, "{}");
  EXPECT_EQ(call.timeout, 30u);
  EXPECT_EQ(call.further, 1u);

  // Released, an answer leaves no heap block behind.
  host.SetRecording(false);
  const uint64_t live = ReadMemoryStats().liveBlocks;
  plugin->ExternalRequest<Setting>(request);
  EXPECT_EQ(ReadMemoryStats().liveBlocks, live);
  host.SetRecording(true);

  request.headers = {{"User-Agent", "mine"}};
  plugin->ExternalTextRequest(request);
  EXPECT_EQ(host.ExternalCalls().back().headers, (host::HeaderList{{"User-Agent", "mine"}}));

  struct Case {
    int32_t transport;
    const char* body;
    bool nullHeaders;
    int32_t wantTransport, parseError, conversionError;
    const char* error;
  } cases[] = {
      {5, "refused", false, 1, -1, -1, "refused"},
      {2, "", false, 2, -1, -1, ""},
      {0, "", false, 0, 1, -1, "Error converting response for PUT http://svc/x: body was empty"},
      {0, "nope", false, 0, 1, -1,
       "Error deserializing json response for PUT http://svc/x: Error: Invalid value. at offset "
       "1. given body nope"},
      {0, R"({"mode":"x"})", false, 0, 0, 1,
       "Error converting response for PUT http://svc/x to Setting: x is not a valid Mode "
       "enumeration value for 'mode'."},
      {0, "{}", true, 0, 1, -1, "Error converting response for PUT http://svc/x: headers was null"},
  };
  for (const Case& c : cases) {
    answer = {.transport = c.transport,
              .headers = {{"h", "v"}},
              .body = c.body,
              .nullHeaderArray = c.nullHeaders};
    typed = plugin->ExternalRequest<Setting>(request);
    EXPECT_EQ(typed.transport, c.wantTransport) << c.body;
    EXPECT_EQ(typed.parseError, c.parseError) << c.body;
    EXPECT_EQ(typed.conversionError, c.conversionError) << c.body;
    EXPECT_EQ(typed.error, c.error);
    EXPECT_FALSE(typed.Succeeded()) << c.body;
  }

  answer = {
      .status = 204, .headers = {{"h", "v"}, {"g", "w"}}, .body = {}, .nullHeaderNames = true};
  RemoteResponse<std::string> text = plugin->ExternalTextRequest(request);
  EXPECT_TRUE(text.Succeeded()) << text.error;
  EXPECT_TRUE(text.headers.empty());
  answer.body = "abc";
  answer.nullBody = true;
  text = plugin->ExternalTextRequest(request);
  EXPECT_EQ(text.error, "Error converting response for PUT http://svc/x: body was null");
  EXPECT_EQ(text.parseError, 1);
  // Only a 2xx status is a success.
  for (const auto& [status, succeeded] :
       {std::pair{199u, false}, {200u, true}, {299u, true}, {300u, false}}) {
    answer = {.status = status, .headers = {}, .body = {}};
    EXPECT_EQ(plugin->ExternalTextRequest(request).Succeeded(), succeeded) << status;
  }
  // A host call that fails before any answer is no parse error.
  plugin->failRequest = true;
  text = plugin->ExternalTextRequest(request);
  EXPECT_EQ(text.error, "external request failed");
  EXPECT_EQ(text.transport, -1);
  EXPECT_EQ(text.parseError, -1);
  // A host with no way out carries nothing, and says why.
  plugin->failRequest = false;
  host.SetExternalHandler({});
  text = plugin->ExternalTextRequest(request);
  EXPECT_EQ(std::to_string(text.transport) + " " + text.error, "1 no handler");
}

}  // namespace
}  // namespace Halden
