#include "plugin/runtime_types.h"

#include <gtest/gtest.h>

#include "binding/host_value_conversion.h"
#include "binding/native_conversion.h"
#include "binding/registry.h"
#include "formats/property_to_json.h"

namespace Halden {
namespace {

class RuntimeTypes : public ::testing::Test {
 protected:
  void SetUp() override {
    registry.Initialize();
    RegisterRuntimeTypes(registry);
  }

  // Native record -> property -> HostValue -> property -> native record, as
  // JSON.
  template <typename T>
  std::string RoundTrip(const T& value) {
    BindingResult property = ConvertToProperty(registry, value);
    EXPECT_TRUE(property.Ok()) << property.Error();
    HostValue host{};
    EXPECT_TRUE(PropertyToHostValue(property, host, &registry));
    BindingProperty back;
    JsonApiResponse error{};
    EXPECT_TRUE(HostValueToProperty(host, back, "<value>", &error));
    ReleaseHostValue(host);
    T result{};
    BindingResult converted = ConvertFromProperty(registry, back, result, "<value>");
    EXPECT_TRUE(converted.Ok()) << converted.Error();
    return PropertyToJson(ConvertToProperty(registry, result), &registry, "");
  }

  BindingRegistry registry;
};

TEST_F(RuntimeTypes, RegisteredTaggedWithTheirEvents) {
  for (const char* name : {"PluginManagerState", "PluginManagerResource", "PluginResourceEventType",
                           "PluginResourceEvent", "PluginLcdsEvent", "PluginLcdsResponse",
                           "PluginServiceProxyResponse"}) {
    const BindingTypeDescriptor* type = registry.FindTypeByName(name);
    ASSERT_NE(type, nullptr) << name;
    EXPECT_EQ(type->tags, std::vector<std::string>{"hclient"}) << name;
  }
  const std::pair<const char*, const char*> events[] = {
      {"OnJsonApiEvent", "PluginResourceEvent"},
      {"OnLcdsEvent", "PluginLcdsEvent"},
      {"OnServiceProxyUuidEvent", "PluginServiceProxyResponse"},
      {"OnServiceProxyMethodEvent", "PluginServiceProxyResponse"},
      {"OnServiceProxyAsyncEvent", "PluginServiceProxyResponse"},
  };
  for (const auto& [name, type] : events) {
    const BindingEventDescriptor* event = registry.FindEvent(name);
    ASSERT_NE(event, nullptr) << name;
    EXPECT_EQ(event->type, registry.FindTypeByName(type)) << name;
    EXPECT_EQ(event->tags, std::vector<std::string>{"hclient"}) << name;
  }
}

TEST_F(RuntimeTypes, RecordsRoundTripThroughHostValues) {
  PluginResourceEvent event{"/v1/email", PluginResourceEventType::Update, {}};
  event.data.Member("email").SetString("a@b.c");
  event.data.Member("emailVerified").SetBool(true);
  EXPECT_EQ(RoundTrip(event),
            R"({"data":{"email":"a@b.c","emailVerified":true},"eventType":"Update",)"
            R"("uri":"/v1/email"})");
  EXPECT_EQ(RoundTrip(PluginManagerResource{PluginManagerState::PluginsInitialized}),
            R"({"state":"PluginsInitialized"})");
  PluginLcdsEvent lcds{"client", "sub", "Type", {}};
  lcds.body.At(1).SetSigned(-7);
  EXPECT_EQ(RoundTrip(lcds),
            R"({"body":[null,-7],"clientId":"client","subtopic":"sub","typeName":"Type"})");
  PluginLcdsResponse response{"Answer", {}};
  response.body.SetFloat(2.5);
  EXPECT_EQ(RoundTrip(response), R"({"body":2.5,"typeName":"Answer"})");
  EXPECT_EQ(RoundTrip(PluginServiceProxyResponse{"u", "svc", "m", "{}", "200", "none"}),
            R"({"error":"none","methodName":"m","payload":"{}","serviceName":"svc",)"
            R"("status":"200","uuid":"u"})");
}

}  // namespace
}  // namespace Halden
