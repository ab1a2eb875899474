// Type-safe positional formatting of messages such as
// "Couldn't assign value to '%1' of type %2 because the input is of an invalid type %3.".
//
// A format text is printf-like, but a directive may name its argument by
// position: bare ("%2"), or followed by "$" and the rest of a printf directive
// ("%2$-8s", "%1$*2$d"). Every argument travels with a descriptor of its
// kind; a directive whose conversion letter does not suit the kind gets the
// kind's own letter, so no directive ever reads an argument as another type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace Halden {

// How the formatter treats one argument. `format` completes `directive`, the
// directive being worked on (a NUL-terminated "%..." text with room for 64
// characters) for the argument's kind and prints the argument with it through
// snprintf, passing `starCount` (0 to 2) width/precision values first; it
// returns snprintf's result. `intValue` gives the argument's value when it
// supplies a `*` width or precision, which only kinds with `mayBeStar` may do.
struct FormatArgDescriptor {
  int (*format)(char* out, std::size_t size, char* directive, const int* starValues, int starCount,
                const void* argument);
  int (*intValue)(const void* argument);
  bool mayBeStar;
};

// The argument kinds the formatter knows; the argument's address must point
// at an object of the listed type.
enum class FormatKind {
  kInt32,    // int32_t
  kUint32,   // uint32_t
  kChar,     // int32_t holding a widened signed character
  kInt64,    // int64_t
  kUint64,   // uint64_t
  kDouble,   // double
  kString,   // std::string
  kCString,  // const char* (null prints "(null)")
};

const FormatArgDescriptor& FormatDescriptorOf(FormatKind kind);

// Formats `format` with `count` arguments into `buffer` of `size` bytes and
// returns the number of characters written, not counting the terminating NUL.
// The text is always NUL-terminated when `size` is not 0. Nothing is
// reported: an unparseable directive, a reference to a missing argument, a
// `*` taken from an argument that cannot supply it, a width or precision
// above 4096, or a full buffer ends formatting with the text produced so far.
std::size_t Format(char* buffer, std::size_t size, const char* format,
                   const FormatArgDescriptor* descriptors, const void* const* arguments, int count);

// Formats into a 4096-byte buffer (at most 4095 characters) and returns the
// text. The typed builders below call this.
std::string FormatToString(const char* format, const FormatArgDescriptor* descriptors,
                           const void* const* arguments, int count);

namespace format_internal {

// One argument of a message builder, normalised to a formatter kind. Types the
// formatter does not know are turned into text by `ToFormatText(value)`,
// found by argument-dependent lookup: declare it in the type's namespace.
class Argument {
 public:
  template <typename T>
  explicit Argument(const T& value) {
    if constexpr (std::is_same_v<T, bool>) {
      Hold(FormatKind::kInt32, int32Value, value ? 1 : 0);
    } else if constexpr (std::is_same_v<T, char> || std::is_same_v<T, signed char>) {
      Hold(FormatKind::kChar, int32Value, static_cast<int32_t>(value));
    } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T> && sizeof(T) <= 4) {
      Hold(FormatKind::kInt32, int32Value, static_cast<int32_t>(value));
    } else if constexpr (std::is_integral_v<T> && sizeof(T) <= 4) {
      Hold(FormatKind::kUint32, uint32Value, static_cast<uint32_t>(value));
    } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
      Hold(FormatKind::kInt64, int64Value, static_cast<int64_t>(value));
    } else if constexpr (std::is_integral_v<T>) {
      Hold(FormatKind::kUint64, uint64Value, static_cast<uint64_t>(value));
    } else if constexpr (std::is_floating_point_v<T>) {
      Hold(FormatKind::kDouble, doubleValue, static_cast<double>(value));
    } else if constexpr (std::is_same_v<T, std::string>) {
      heldKind = FormatKind::kString;
      heldAddress = &value;
    } else if constexpr (std::is_convertible_v<const T&, const char*>) {
      Hold(FormatKind::kCString, textPointer, static_cast<const char*>(value));
    } else if constexpr (std::is_same_v<T, std::string_view>) {
      Hold(FormatKind::kString, textValue, std::string(value));
    } else {
      Hold(FormatKind::kString, textValue, ToFormatText(value));
    }
  }
  Argument(const Argument&) = delete;
  Argument& operator=(const Argument&) = delete;

  FormatKind Kind() const { return heldKind; }
  const void* Address() const { return heldAddress; }

 private:
  template <typename Slot, typename V>
  void Hold(FormatKind kind, Slot& slot, V&& value) {
    slot = std::forward<V>(value);
    heldKind = kind;
    heldAddress = &slot;
  }

  FormatKind heldKind = FormatKind::kInt32;
  const void* heldAddress = nullptr;
  int32_t int32Value = 0;
  uint32_t uint32Value = 0;
  int64_t int64Value = 0;
  uint64_t uint64Value = 0;
  double doubleValue = 0;
  const char* textPointer = nullptr;
  std::string textValue;
};

template <typename... A>
std::string FormatArguments(const char* format, const A&... values) {
  const Argument arguments[] = {Argument(values)...};
  FormatArgDescriptor descriptors[sizeof...(A)];
  const void* addresses[sizeof...(A)];
  for (std::size_t i = 0; i < sizeof...(A); ++i) {
    descriptors[i] = FormatDescriptorOf(arguments[i].Kind());
    addresses[i] = arguments[i].Address();
  }
  return FormatToString(format, descriptors, addresses, static_cast<int>(sizeof...(A)));
}

}  // namespace format_internal

// Message builders: format with one to three arguments, each referred to as
// %1, %2, %3 (or "%2$08x" with flags, width and conversion). Integers map
// to the 32- or 64-bit kinds by their size (bool prints as 0 or 1, char and
// signed char as a character), floating-point values to double, std::string,
// std::string_view and character pointers to text; any other type through
// `ToFormatText`.
template <typename A>
std::string FormatMessage(const char* format, const A& a) {
  return format_internal::FormatArguments(format, a);
}

template <typename A, typename B>
std::string FormatMessage(const char* format, const A& a, const B& b) {
  return format_internal::FormatArguments(format, a, b);
}

template <typename A, typename B, typename C>
std::string FormatMessage(const char* format, const A& a, const B& b, const C& c) {
  return format_internal::FormatArguments(format, a, b, c);
}

}  // namespace Halden
