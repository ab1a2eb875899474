#include "formats/content_type.h"

#include <gtest/gtest.h>

#include <vector>

namespace Halden {
namespace {

TEST(ContentTypeTest, SelectsFormatsByCaseInsensitivePrefix) {
  struct Case {
    const char* contentType;
    BodyFormat body;
    BodyFormat parameter;
  };
  const std::vector<Case> cases = {
      {"application/x-msgpack", BodyFormat::MessagePack, BodyFormat::MessagePack},
      {"APPLICATION/X-MSGPACK-EXT", BodyFormat::MessagePack, BodyFormat::MessagePack},
      {"application/json", BodyFormat::Json, BodyFormat::Json},
      {"Application/JSON; charset=utf-8", BodyFormat::Json, BodyFormat::Json},
      {"application/vnd.api+json", BodyFormat::Json, BodyFormat::Text},
      {"application/x-yaml", BodyFormat::Yaml, BodyFormat::Text},
      {"text/x-yaml", BodyFormat::Unsupported, BodyFormat::Yaml},
      {"application/octet-stream", BodyFormat::Unsupported, BodyFormat::Blob},
      {"application/jso", BodyFormat::Unsupported, BodyFormat::Text},
      {" application/json", BodyFormat::Unsupported, BodyFormat::Text},
      {"text/plain", BodyFormat::Unsupported, BodyFormat::Text},
      {"", BodyFormat::Unsupported, BodyFormat::Text}};
  for (const Case& c : cases) {
    EXPECT_EQ(RequestBodyFormat(c.contentType), c.body) << c.contentType;
    EXPECT_EQ(ParameterValueFormat(c.contentType), c.parameter) << c.contentType;
  }
  // Only ASCII letters fold.
  EXPECT_FALSE(HasContentTypePrefix("\xc3\xa4", "\xc3\x84"));
  EXPECT_TRUE(HasContentTypePrefix("anything", ""));
}

}  // namespace
}  // namespace Halden
