// The content types of request bodies and parameter values, and the formats
// they select.
#pragma once

#include <cstdint>
#include <string_view>

namespace Halden {

inline constexpr std::string_view kMessagePackContentType = "application/x-msgpack";
inline constexpr std::string_view kJsonContentType = "application/json";
inline constexpr std::string_view kJsonApiContentType = "application/vnd.api+json";
inline constexpr std::string_view kYamlContentType = "application/x-yaml";
inline constexpr std::string_view kYamlTextContentType = "text/x-yaml";
inline constexpr std::string_view kOctetStreamContentType = "application/octet-stream";

enum class BodyFormat : uint8_t {
  Unsupported,  // a request body in any other content type is refused
  MessagePack,
  Json,
  Yaml,
  Blob,  // the bytes as they are
  Text,  // the bytes as a string
};

// The content types a request body may have, and the format each selects.
struct BodyContentType {
  std::string_view name;
  BodyFormat format;
};
inline constexpr BodyContentType kRequestBodyTypes[] = {
    {kJsonContentType, BodyFormat::Json},
    {kJsonApiContentType, BodyFormat::Json},
    {kYamlContentType, BodyFormat::Yaml},
    {kMessagePackContentType, BodyFormat::MessagePack},
};

// True when `contentType` begins with `prefix`, ignoring ASCII case: exactly
// as many characters as `prefix` has are compared, so parameters such as
// "; charset=utf-8", or a longer name such as "application/x-msgpack-ext",
// still match.
bool HasContentTypePrefix(std::string_view contentType, std::string_view prefix);

// The format of a request body: that of the first of kRequestBodyTypes
// whose name `contentType` begins with, otherwise Unsupported.
BodyFormat RequestBodyFormat(std::string_view contentType);

// The format of a parameter value: MessagePack for "application/x-msgpack",
// Json for "application/json", Yaml for "text/x-yaml", Blob for
// "application/octet-stream", otherwise Text.
BodyFormat ParameterValueFormat(std::string_view contentType);

}  // namespace Halden
