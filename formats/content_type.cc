#include "formats/content_type.h"

#include <cstddef>

#include "util/ascii_case.h"

namespace Halden {
bool HasContentTypePrefix(std::string_view contentType, std::string_view prefix) {
  if (contentType.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (LowerAscii(contentType[i]) != LowerAscii(prefix[i])) return false;
  }
  return true;
}

BodyFormat RequestBodyFormat(std::string_view contentType) {
  for (const BodyContentType& type : kRequestBodyTypes) {
    if (HasContentTypePrefix(contentType, type.name)) return type.format;
  }
  return BodyFormat::Unsupported;
}

BodyFormat ParameterValueFormat(std::string_view contentType) {
  if (HasContentTypePrefix(contentType, kMessagePackContentType)) return BodyFormat::MessagePack;
  if (HasContentTypePrefix(contentType, kJsonContentType)) return BodyFormat::Json;
  if (HasContentTypePrefix(contentType, kYamlTextContentType)) return BodyFormat::Yaml;
  if (HasContentTypePrefix(contentType, kOctetStreamContentType)) return BodyFormat::Blob;
  return BodyFormat::Text;
}

}  // namespace Halden
