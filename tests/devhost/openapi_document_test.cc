#include "host/devhost/openapi_document.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "formats/content_type.h"
#include "formats/json_to_property.h"
#include "formats/property_to_json.h"
#include "host/in_process_host.h"
#include "tests/support/sample_plugin.h"

namespace Halden::devhost {
namespace {

std::string Json(const BindingProperty& value) { return PropertyToJson(value, nullptr, nullptr); }

class OpenApiDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.Register(&Halden::testing::LoadSamplePlugin));
    document = JsonToProperty(RenderOpenApi(host.Registration(), "http://127.0.0.1:9").c_str());
    ASSERT_TRUE(document.Ok()) << document.Error();
  }

  const BindingProperty& Operation(const char* path, const char* method) const {
    return document.Find("paths").Find(path).Find(method);
  }

  // "name in required" of each parameter, in order, and " described" for
  // one with a description, which the sample gives none.
  static std::vector<std::string> Parameters(const BindingProperty& operation) {
    std::vector<std::string> parameters;
    const BindingProperty& list = operation.Find("parameters");
    for (uint32_t i = 0; i < list.Size(); ++i) {
      const BindingProperty& parameter = list.Element(i);
      parameters.push_back(parameter.Find("name").ToText() + " " + parameter.Find("in").ToText() +
                           " " + parameter.Find("required").ToText() +
                           (parameter.Find("description").IsEmpty() ? "" : " described"));
    }
    return parameters;
  }

  host::InProcessHost host;
  BindingResult document;
};

TEST_F(OpenApiDocumentTest, OperationsParametersAndBodies) {
  using Strings = std::vector<std::string>;
  struct Case {
    const char* path;
    const char* method;
    Strings parameters;
    const char* body;  // the body schema's reference, null: none
  } cases[] = {
      {"/v1/summary", "put", {"limit query true", "verbose query true"}, "SampleSummary"},
      {"/v1/items/{id}",
       "put",
       {"id path true", "verbose query true", "trace header false"},
       "SampleItem"},
      // Passed to the host only: no parameter.
      {"/v1/items/{id}", "delete", {"id path true"}, nullptr},
      // A rest placeholder, and one taken from anywhere, are path parameters.
      {"/v1/files/{path}", "get", {"path path true"}, nullptr},
      {"/v1/fail/{how}", "get", {"how path true"}, nullptr},
  };
  for (const Case& c : cases) {
    const BindingProperty& operation = Operation(c.path, c.method);
    EXPECT_EQ(Parameters(operation), c.parameters) << c.path << " " << c.method;
    const BindingProperty& body = operation.Find("requestBody");
    EXPECT_EQ(body.Find("content").Find("application/json").Find("schema").Find("$ref").ToText(),
              c.body ? std::string("#/components/schemas/") + c.body : "")
        << c.path;
    EXPECT_EQ(body.Find("required").GetBool(), c.body != nullptr) << c.path;
    // The sample describes no endpoint.
    EXPECT_TRUE(operation.Find("summary").IsEmpty() && operation.Find("description").IsEmpty());
  }
  // A parameter's schema is its type's.
  EXPECT_EQ(Json(Operation("/v1/summary", "put").Find("parameters").Element(0).Find("schema")),
            R"({"maximum":4294967295,"minimum":0,"type":"integer"})");
  EXPECT_EQ(document.Find("openapi").ToText(), "3.1.0");
  EXPECT_EQ(document.Find("info").Find("title").ToText(), "sample");
  EXPECT_EQ(document.Find("info").Find("version").ToText(), "18.0.0");
  EXPECT_EQ(Operation("/v1/scalars", "get").Find("parameters").Size(), 17u);
  // Every content type the dispatcher reads a body in.
  const BindingProperty& content =
      Operation("/v1/summary", "put").Find("requestBody").Find("content");
  for (const BodyContentType& type : kRequestBodyTypes) {
    EXPECT_FALSE(content.Find(std::string(type.name)).IsEmpty()) << type.name;
  }
  // A method named by text has no place in OpenAPI 3.1; any method is each.
  EXPECT_TRUE(document.Find("paths").Find("/v1/cache").IsEmpty());
  EXPECT_EQ(document.Find("paths").Find("/v1/anything").Size(), 7u);
  const std::string patch = Operation("/v1/anything", "patch").Find("operationId").ToText();
  EXPECT_TRUE(patch.ends_with("_patch")) << patch;
  EXPECT_NE(Operation("/v1/anything", "get").Find("operationId").ToText(), patch);
  EXPECT_EQ(Json(Operation("/v1/summary", "get").Find("tags")), R"(["Plugins","Plugin sample"])");
  EXPECT_EQ(Json(Operation("/v1/summary", "get").Find("responses").Find("200").Find("content")),
            R"({"application/json":{"schema":{"$ref":"#/components/schemas/SampleSummary"}}})");
  // A handler without a result answers whatever it answers.
  EXPECT_EQ(Json(Operation("/v1/items/{id}", "delete").Find("responses").Find("2XX")),
            R"({"description":"Done; the body, if any, is the handler's"})");
  // Any operation may fail with the error record.
  EXPECT_EQ(Json(Operation("/v1/items/{id}", "delete").Find("responses").Find("default")),
            R"({"content":{"application/json":{"schema":{"$ref":"#/components/schemas/)" +
                std::string(kErrorSchemaName) +
                R"("}}},"description":"An error: its message and status"})");
}

// Each event is a webhook whose body is the record the event carries.
TEST_F(OpenApiDocumentTest, EventsAsWebhooks) {
  std::vector<std::string> names;
  for (const auto [name, webhook] : document.Find("webhooks").Members()) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{
                       "OnCallback", "OnJsonApiEvent", "OnLcdsEvent", "OnServiceProxyAsyncEvent",
                       "OnServiceProxyMethodEvent", "OnServiceProxyUuidEvent"}));
  for (const auto& [event, summary, record] :
       {std::tuple{"OnJsonApiEvent", "Fired when a resource is changed.", "PluginResourceEvent"},
        std::tuple{"OnServiceProxyUuidEvent",
                   "Fired when a uuid-based service proxy message is received.",
                   "PluginServiceProxyResponse"}}) {
    EXPECT_EQ(Json(document.Find("webhooks").Find(event).Find("post")),
              std::string(R"({"requestBody":{"content":{"application/json":{"schema":{"$ref":")") +
                  "#/components/schemas/" + record + R"("}}},"required":true},"summary":")" +
                  summary + R"(","tags":["hclient"]})")
        << event;
  }
}

TEST_F(OpenApiDocumentTest, RecordsAndEnumerationsUnderComponents) {
  const BindingProperty& schemas = document.Find("components").Find("schemas");
  EXPECT_EQ(Json(schemas.Find("SampleColor")), R"({"enum":["Blue","Green","Red"],"type":"string",)"
                                               R"("x-enum-values":{"Blue":7,"Green":1,"Red":0}})");
  EXPECT_EQ(schemas.Find("SampleScalars").Find("type").ToText(), "object");
  const BindingProperty& scalars = schemas.Find("SampleScalars").Find("properties");
  struct Case {
    const char* field;
    const char* schema;
  } cases[] = {
      {"b", R"({"type":"boolean"})"},
      {"i8", R"({"maximum":127,"minimum":-128,"type":"integer"})"},
      {"u8", R"({"maximum":255,"minimum":0,"type":"integer"})"},
      {"i16", R"({"maximum":32767,"minimum":-32768,"type":"integer"})"},
      {"u16", R"({"maximum":65535,"minimum":0,"type":"integer"})"},
      {"i32", R"({"format":"int32","type":"integer"})"},
      {"u32", R"({"maximum":4294967295,"minimum":0,"type":"integer"})"},
      {"u64", R"({"maximum":18446744073709551615,"minimum":0,"type":"integer"})"},
      {"i64", R"({"format":"int64","type":"integer"})"},
      {"f", R"({"format":"float","type":"number"})"},
      {"d", R"({"format":"double","type":"number"})"},
      {"s", R"({"type":"string"})"},
      {"e", R"({"$ref":"#/components/schemas/SampleColor"})"},
      {"v", R"({"items":{"type":"string"},"type":"array"})"},
      {"obj", "{}"},
      {"st", R"({"$ref":"#/components/schemas/Sample.Inner_1"})"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Json(scalars.Find(c.field)), c.schema) << c.field;
  }
  EXPECT_EQ(Json(schemas.Find("SampleMarker")), R"({"type":"object"})");
  EXPECT_EQ(Json(schemas.Find("SampleItem").Find("properties").Find("parts")),
            R"({"items":{"$ref":"#/components/schemas/Sample.Inner_1"},"type":"array"})");
  // The framework's types carry their tags, where the plugin's carry its own.
  EXPECT_EQ(Json(schemas.Find("PluginResourceEvent").Find("x-tags")), R"(["hclient"])");
  EXPECT_TRUE(schemas.Find("SampleItem").Find("x-tags").IsEmpty());
  EXPECT_EQ(Json(schemas.Find(kErrorSchemaName)),
            R"({"properties":{"message":{"type":"string"},"status":{"type":"integer"}},)"
            R"("required":["message","status"],"type":"object"})");
  EXPECT_EQ(Json(schemas.Find("BindingGenericEvent")),
            R"({"description":"Represents generic data for an event.","properties":{"data":)"
            R"({"description":"Event data"}},"required":["data"],"type":"object",)"
            R"("x-tags":["$builtin"]})");
}

}  // namespace
}  // namespace Halden::devhost
