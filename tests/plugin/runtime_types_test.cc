#include "plugin/runtime_types.h"

#include <gtest/gtest.h>

#include "binding/host_value_conversion.h"
#include "binding/native_conversion.h"
#include "binding/registry.h"

namespace Halden {
namespace {

// Native record -> property -> HostValue -> property -> native record.
template <typename T>
T RoundTrip(const BindingRegistry& registry, const T& value) {
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
  return result;
}

TEST(RuntimeTypes, RegisteredTaggedAndDescribed) {
  BindingRegistry registry;
  registry.Initialize();
  RegisterRuntimeTypes(registry);
  for (const char* name : {"PluginManagerState", "PluginManagerResource", "PluginResourceEventType",
                           "PluginResourceEvent", "PluginLcdsEvent", "PluginLcdsResponse",
                           "PluginServiceProxyResponse"}) {
    const BindingTypeDescriptor* type = registry.FindTypeByName(name);
    ASSERT_NE(type, nullptr) << name;
    EXPECT_EQ(type->tags, std::vector<std::string>{"hclient"}) << name;
  }
  EXPECT_EQ(registry.TypeSnapshot().size(), 15u + 7u);
  const BindingEventDescriptor* event = registry.FindEvent("OnJsonApiEvent");
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->description, "Fired when a resource is changed.");
  EXPECT_EQ(event->type, registry.FindTypeByName("PluginResourceEvent"));
  EXPECT_EQ(registry.FindEvent("OnServiceProxyAsyncEvent")->type,
            registry.FindTypeByName("PluginServiceProxyResponse"));
  EXPECT_EQ(registry.EventSnapshot().size(), 1u + 5u);
  EXPECT_EQ(registry.FindTypeByName("PluginResourceEvent")->fields[2].type.code,
            BindingTypeCode::Object);
}

TEST(RuntimeTypes, RecordsRoundTripThroughPropertiesAndHostValues) {
  BindingRegistry registry;
  registry.Initialize();
  RegisterRuntimeTypes(registry);

  PluginResourceEvent event;
  event.uri = "/qor-email-verification/v1/email";
  event.eventType = PluginResourceEventType::Update;
  event.data.Member("email").SetString("a@b.c");
  event.data.Member("emailVerified").SetBool(true);
  PluginResourceEvent eventBack = RoundTrip(registry, event);
  EXPECT_EQ(eventBack.uri, event.uri);
  EXPECT_EQ(eventBack.eventType, PluginResourceEventType::Update);
  EXPECT_EQ(eventBack.data.Find("email").GetString(), "a@b.c");
  EXPECT_TRUE(eventBack.data.Find("emailVerified").GetBool());

  // Enumerations cross the boundary by name.
  HostValue host{};
  ASSERT_TRUE(PropertyToHostValue(ConvertToProperty(registry, event), host, &registry));
  bool sawName = false;
  for (uint32_t i = 0; i < host.structure.count; ++i) {
    const HostMemberEntry& entry = host.structure.entries[i];
    if (std::string(entry.key) == "eventType") {
      sawName =
          entry.value.kind == kHostStringOwned && std::string(entry.value.text.data) == "Update";
    }
  }
  EXPECT_TRUE(sawName);
  ReleaseHostValue(host);

  PluginManagerResource manager{PluginManagerState::PluginsInitialized};
  EXPECT_EQ(RoundTrip(registry, manager).state, PluginManagerState::PluginsInitialized);

  PluginLcdsEvent lcds{"client", "sub", "Type", {}};
  lcds.body.At(1).SetSigned(-7);
  PluginLcdsEvent lcdsBack = RoundTrip(registry, lcds);
  EXPECT_EQ(lcdsBack.clientId, "client");
  EXPECT_EQ(lcdsBack.subtopic, "sub");
  EXPECT_EQ(lcdsBack.typeName, "Type");
  EXPECT_EQ(lcdsBack.body.Size(), 2u);
  EXPECT_EQ(lcdsBack.body.Element(1).GetSigned(), -7);

  PluginLcdsResponse response{"Answer", {}};
  response.body.SetFloat(2.5);
  PluginLcdsResponse responseBack = RoundTrip(registry, response);
  EXPECT_EQ(responseBack.typeName, "Answer");
  EXPECT_EQ(responseBack.body.GetFloat(), 2.5);

  PluginServiceProxyResponse proxy{"u", "svc", "m", "{}", "200", "none"};
  PluginServiceProxyResponse proxyBack = RoundTrip(registry, proxy);
  EXPECT_EQ(proxyBack.uuid, "u");
  EXPECT_EQ(proxyBack.serviceName, "svc");
  EXPECT_EQ(proxyBack.methodName, "m");
  EXPECT_EQ(proxyBack.payload, "{}");
  EXPECT_EQ(proxyBack.status, "200");
  EXPECT_EQ(proxyBack.error, "none");
}

}  // namespace
}  // namespace Halden
