#include "binding/registration.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "binding/native_conversion.h"
#include "tests/binding/conversion_test_support.h"

namespace Halden {
namespace {

using binding_test::Describe;

// Records in the shape of a plugin runtime's resource event.
enum class ResourceEventType : int32_t { Create = 0, Update = 1, Delete = 2 };

struct ResourceEvent {
  std::string uri;
  ResourceEventType eventType = ResourceEventType::Create;
  BindingProperty data;
};

struct Session {
  std::string email;
  bool emailVerified = false;
};

struct Listing {
  std::vector<ResourceEventType> types;
  std::vector<Session> sessions;
  std::vector<uint8_t> bytes;
};

class RegistrationTest : public ::testing::Test {
 protected:
  RegistrationTest() {
    RegisterEnum<ResourceEventType>(registry, "PrefixResourceEventType")
        .Tags({"hclient"})
        .Value("Create", ResourceEventType::Create)
        .Value("Update", ResourceEventType::Update)
        .Value("Delete", ResourceEventType::Delete);
    RegisterStruct<ResourceEvent>(registry, "PrefixResourceEvent")
        .Tags({"hclient"})
        .Field("uri", &ResourceEvent::uri)
        .Field("eventType", &ResourceEvent::eventType)
        .Field("data", &ResourceEvent::data);
    RegisterEvent<ResourceEvent>(registry, "OnJsonApiEvent")
        .SetDescription("Fired when a resource is changed.")
        .AddTag("hclient");
    RegisterStruct<Session>(registry, "PrefixSession")
        .Description("A session.")
        .Field("email", &Session::email, "the address")
        .Field("emailVerified", &Session::emailVerified);
    RegisterStruct<Listing>(registry, "PrefixListing")
        .Field("types", &Listing::types)
        .Field("sessions", &Listing::sessions)
        .Field("bytes", &Listing::bytes);
  }

  BindingRegistry registry;
};

// "name code/elementCode/descriptor" per field: what the templates work out.
std::vector<std::string> Fields(const BindingTypeDescriptor& type) {
  std::vector<std::string> fields;
  for (const BindingFieldDescriptor& field : type.fields) {
    fields.push_back(field.name + " " + TypeCodeName(field.type.code) + "/" +
                     TypeCodeName(field.type.elementCode) + "/" +
                     (field.type.descriptor != nullptr ? field.type.descriptor->name : "") +
                     (field.converter != nullptr ? "" : " without converter"));
  }
  return fields;
}

TEST_F(RegistrationTest, FieldsRecordTheirTypes) {
  const BindingTypeDescriptor* event = registry.FindType(&StaticTypeOf<ResourceEvent>());
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->name, "PrefixResourceEvent");
  EXPECT_EQ(event->tags, std::vector<std::string>{"hclient"});
  EXPECT_EQ(Fields(*event),
            (std::vector<std::string>{"uri string//", "eventType enum//PrefixResourceEventType",
                                      "data object//"}));
  EXPECT_EQ(registry.FindEvent("OnJsonApiEvent")->type, event);
  EXPECT_EQ(
      Fields(*registry.FindTypeByName("PrefixListing")),
      (std::vector<std::string>{"types vector/enum/PrefixResourceEventType",
                                "sessions vector/struct/PrefixSession", "bytes vector/uint8/"}));
  const BindingTypeDescriptor* session = registry.FindTypeByName("PrefixSession");
  EXPECT_EQ(session->description, "A session.");
  EXPECT_EQ(session->fields[0].description, "the address");
}

TEST_F(RegistrationTest, RegisteredRecordsConvert) {
  ResourceEvent event;
  event.uri = "/qor/v1/email";
  event.eventType = ResourceEventType::Update;
  event.data.Member("emailVerified").SetBool(true);
  const BindingResult property = ConvertToProperty(registry, event);
  EXPECT_EQ(Describe(property), "{data:{emailVerified:true},eventType:e1,uri:\"/qor/v1/email\"}");

  Listing listing;
  listing.types = {ResourceEventType::Delete};
  listing.sessions = {{"a@b", true}};
  listing.bytes = {0, 255};
  EXPECT_EQ(Describe(ConvertToProperty(registry, listing)),
            "{bytes:[u0,u255],sessions:[{email:\"a@b\",emailVerified:true}],types:[e2]}");
}

}  // namespace
}  // namespace Halden
