// Message templates with named placeholders, such as
// "Error response for {method} {url}: {error}". Each placeholder takes the
// next argument; the text comes out with the arguments in place, and each
// named argument is also recorded as a field under its name.
//
// Placeholder syntax, "{" [ "#" ] name [ "!" ] [ "?" alternative ] [ ":" conversion ] "}":
//   "#"  typed name: the field name gets "_bool", "_int" (signed and
//        unsigned), "_float" or "_str" appended, unless it already ends in
//        one of "_bool", "_int", "_long", "_float", "_str", "_time".
//   "!"  silent: the argument is recorded but not printed, and white space
//        just before the placeholder is dropped.
//   "?"  when the argument is empty (false, 0, 0.0, ""), the alternative text
//        is printed instead and nothing is recorded.
//   ":"  printf-style flags, width and conversion for the argument ("{count:5d}").
//   "\"  takes the next character literally.
// "{{" prints "{", "}}" prints "}". A printf directive outside a placeholder
// ("%d") takes the next argument too, without a field; "%%" prints "%".
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>

namespace Halden {

enum class LogValueKind : uint32_t { kBool = 1, kSigned = 2, kUnsigned = 3, kFloat = 4, kText = 5 };

// One argument or field value.
struct LogValue {
  LogValueKind kind = LogValueKind::kText;
  std::string text;              // kText
  int64_t integer = 0;           // kBool (0 or 1) and kSigned
  uint64_t unsignedInteger = 0;  // kUnsigned
  double real = 0;               // kFloat

  static LogValue Bool(bool value);
  static LogValue Signed(int64_t value);
  static LogValue Unsigned(uint64_t value);
  static LogValue Float(double value);
  static LogValue Text(std::string value);

  // False, 0, 0.0 or empty text.
  bool IsEmpty() const;
};

using LogFields = std::map<std::string, LogValue>;

// Turns `templateText` into a positional format (see util/format.h) over the
// same arguments, numbered from 1 in order of use, and records the named
// arguments in `fields` (when not null). A placeholder or directive whose
// argument is missing produces nothing.
std::string TemplateToPositional(std::string_view templateText, std::span<const LogValue> arguments,
                                 LogFields* fields);

// Formats `templateText` with `arguments` into `text` (at most 4095
// characters) and records the named arguments in `fields`.
void FormatTemplate(std::string_view templateText, std::span<const LogValue> arguments,
                    std::string* text, LogFields* fields);

}  // namespace Halden
