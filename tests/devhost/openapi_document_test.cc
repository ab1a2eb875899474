#include "host/devhost/openapi_document.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "formats/content_type.h"
#include "formats/json_to_property.h"
#include "host/in_process_host.h"
#include "tests/devhost/devhost_test_support.h"
#include "tests/support/sample_plugin.h"

namespace Halden::devhost {
namespace {

// "name in required" of each parameter, " described" if it has a description.
std::string Parameters(const BindingProperty& operation) {
  std::string parameters;
  const BindingProperty& list = operation.Find("parameters");
  for (uint32_t i = 0; i < list.Size(); ++i) {
    const BindingProperty& parameter = list.Element(i);
    parameters += (i == 0 ? "" : ", ") + parameter.Find("name").ToText() + " " +
                  parameter.Find("in").ToText() + " " + parameter.Find("required").ToText() +
                  (parameter.Find("description").IsEmpty() ? "" : " described");
  }
  return parameters;
}

// The sample's operations, parameters, bodies, events as webhooks, and records.
TEST(OpenApiDocument, DescribesTheSamplePlugin) {
  host::InProcessHost host;
  ASSERT_TRUE(host.Register(&Halden::testing::LoadSamplePlugin));
  const BindingResult document =
      JsonToProperty(RenderOpenApi(host.Registration(), "http://127.0.0.1:9").c_str());
  ASSERT_TRUE(document.Ok()) << document.Error();
  const BindingProperty& paths = document.Find("paths");
  // Path, method, parameters, and the body schema's name (null: no body).
  const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
      {"/v1/summary", "put", "limit query true, verbose query true", "SampleSummary"},
      {"/v1/items/{id}", "put", "id path true, verbose query true, trace header false",
       "SampleItem"},
      // Passed to the host only: no parameter.
      {"/v1/items/{id}", "delete", "id path true", nullptr},
      // A rest placeholder, and one taken from anywhere, are path parameters.
      {"/v1/files/{path}", "get", "path path true", nullptr},
      {"/v1/fail/{how}", "get", "how path true", nullptr},
  };
  for (const auto& [path, method, parameters, schema] : cases) {
    const BindingProperty& operation = paths.Find(path).Find(method);
    EXPECT_EQ(Parameters(operation), parameters) << path << " " << method;
    const BindingProperty& body = operation.Find("requestBody");
    EXPECT_EQ(body.Find("content").Find("application/json").Find("schema").Find("$ref").ToText(),
              schema ? std::string("#/components/schemas/") + schema : "")
        << path;
    EXPECT_EQ(body.Find("required").GetBool(), schema != nullptr) << path;
    // The sample describes no endpoint.
    EXPECT_TRUE(operation.Find("summary").IsEmpty() && operation.Find("description").IsEmpty());
  }
  const BindingProperty& summary = paths.Find("/v1/summary");
  // A parameter's schema is its type's.
  EXPECT_EQ(Json(summary.Find("put").Find("parameters").Element(0).Find("schema")),
            R"({"maximum":4294967295,"minimum":0,"type":"integer"})");
  EXPECT_EQ(document.Find("openapi").ToText() + Json(document.Find("info")),
            R"(3.1.0{"title":"sample","version":"18.0.0"})");
  EXPECT_EQ(paths.Find("/v1/scalars").Find("get").Find("parameters").Size(), 17u);
  const BindingProperty& content = summary.Find("put").Find("requestBody").Find("content");
  for (const BodyContentType& type : kRequestBodyTypes) {
    EXPECT_FALSE(content.Find(std::string(type.name)).IsEmpty()) << type.name;
  }
  // A method named by text has no place in OpenAPI 3.1; any method is each.
  EXPECT_TRUE(paths.Find("/v1/cache").IsEmpty());
  const BindingProperty& anything = paths.Find("/v1/anything");
  EXPECT_EQ(anything.Size(), 7u);
  const std::string patch = anything.Find("patch").Find("operationId").ToText();
  EXPECT_TRUE(patch.ends_with("_patch")) << patch;
  EXPECT_NE(anything.Find("get").Find("operationId").ToText(), patch);
  EXPECT_EQ(Json(summary.Find("get").Find("tags")), R"(["Plugins","Plugin sample"])");
  EXPECT_EQ(Json(summary.Find("get").Find("responses").Find("200").Find("content")),
            R"({"application/json":{"schema":{"$ref":"#/components/schemas/SampleSummary"}}})");
  // A handler without a result answers anything; any may fail with the error record.
  const BindingProperty& responses = paths.Find("/v1/items/{id}").Find("delete").Find("responses");
  EXPECT_EQ(Json(responses.Find("2XX")),
            R"({"description":"Done; the body, if any, is the handler's"})");
  EXPECT_EQ(Json(responses.Find("default")),
            R"({"content":{"application/json":{"schema":{"$ref":"#/components/schemas/)" +
                std::string(kErrorSchemaName) +
                R"("}}},"description":"An error: its message and status"})");
  // Each event is a webhook whose body is the record the event carries.
  std::string names;
  for (const auto [name, webhook] : document.Find("webhooks").Members())
    names += std::string(name) + " ";
  EXPECT_EQ(names,
            "OnCallback OnJsonApiEvent OnLcdsEvent OnServiceProxyAsyncEvent "
            "OnServiceProxyMethodEvent OnServiceProxyUuidEvent ");
  for (const auto& [event, said, record] :
       {std::tuple{"OnJsonApiEvent", "Fired when a resource is changed.", "PluginResourceEvent"},
        std::tuple{"OnServiceProxyUuidEvent",
                   "Fired when a uuid-based service proxy message is received.",
                   "PluginServiceProxyResponse"}}) {
    EXPECT_EQ(Json(document.Find("webhooks").Find(event).Find("post")),
              std::string(R"({"requestBody":{"content":{"application/json":{"schema":{"$ref":")") +
                  "#/components/schemas/" + record + R"("}}},"required":true},"summary":")" + said +
                  R"(","tags":["hclient"]})")
        << event;
  }
  const BindingProperty& schemas = document.Find("components").Find("schemas");
  EXPECT_EQ(Json(schemas.Find("SampleColor")), R"({"enum":["Blue","Green","Red"],"type":"string",)"
                                               R"("x-enum-values":{"Blue":7,"Green":1,"Red":0}})");
  // Each scalar type's schema, every field required.
  EXPECT_EQ(
      Json(schemas.Find("SampleScalars")),
      R"({"properties":{"b":{"type":"boolean"},"d":{"format":"double","type":"number"},)"
      R"("e":{"$ref":"#/components/schemas/SampleColor"},"f":{"format":"float","type":"number"},)"
      R"("i16":{"maximum":32767,"minimum":-32768,"type":"integer"},"i32":{"format":"int32",)"
      R"("type":"integer"},"i64":{"format":"int64","type":"integer"},"i8":{"maximum":127,)"
      R"("minimum":-128,"type":"integer"},"obj":{},"opt":{"format":"int32","type":"integer"},)"
      R"("s":{"type":"string"},"st":{"$ref":"#/components/schemas/Sample.Inner_1"},)"
      R"("u16":{"maximum":65535,"minimum":0,"type":"integer"},"u32":{"maximum":4294967295,)"
      R"("minimum":0,"type":"integer"},"u64":{"maximum":18446744073709551615,"minimum":0,)"
      R"("type":"integer"},"u8":{"maximum":255,"minimum":0,"type":"integer"},)"
      R"("v":{"items":{"type":"string"},"type":"array"}},"required":["b","i8","u8","i16","u16",)"
      R"("i32","u32","i64","u64","f","d","s","e","v","obj","st","opt"],"type":"object"})");
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
