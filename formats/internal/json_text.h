// Texts written as JSON strings, whatever their length.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "formats/internal/rapidjson.h"

namespace Halden::internal {

// RapidJSON's writer reserves room for a string's escaped form, six bytes a
// byte and two for the quotes, in 32 bits: the longest text it can take.
inline constexpr std::size_t kMaxWriterText = (0xFFFFFFFFu - 2) / 6;

// `text` as a quoted JSON string, escaped as the writer escapes it, which
// it is given `piece` bytes at a time: every byte is escaped on its own, so
// the pieces' escaped forms join.
inline std::string QuotedJsonText(std::string_view text, std::size_t piece = kMaxWriterText) {
  std::string quoted = "\"";
  for (std::size_t at = 0; at < text.size(); at += piece) {
    const std::string_view part = text.substr(at, piece);
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.String(part.data(), static_cast<rapidjson::SizeType>(part.size()));
    quoted.append(buffer.GetString() + 1, buffer.GetSize() - 2);
  }
  quoted += '"';
  return quoted;
}

// Writes `text` as a string value, or as a member name when `key`. A text
// longer than the writer takes (`longest`, which tests lower) goes in
// already quoted.
template <typename Writer>
bool WriteJsonText(Writer& writer, std::string_view text, bool key = false,
                   std::size_t longest = kMaxWriterText) {
  if (text.size() <= longest) {
    const auto size = static_cast<rapidjson::SizeType>(text.size());
    return key ? writer.Key(text.data(), size) : writer.String(text.data(), size);
  }
  const std::string quoted = QuotedJsonText(text, longest);
  return writer.RawValue(quoted.data(), quoted.size(), rapidjson::kStringType);
}

}  // namespace Halden::internal
