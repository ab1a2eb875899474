#include "util/format.h"

#include <cstdio>
#include <cstring>

namespace Halden {
namespace {

// A directive whose working text would reach this many characters
// ends formatting.
constexpr std::size_t kDirectiveLimit = 60;
constexpr std::size_t kMessageBufferSize = 4096;
// A larger width or precision could only pad what is cut, and MinGW's C
// runtime builds a whole padded number on the stack: it ends formatting.
constexpr int kWidthLimit = static_cast<int>(kMessageBufferSize);

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsOneOf(char c, const char* set) { return c != '\0' && std::strchr(set, c) != nullptr; }

struct Directive {
  char text[64] = {};
  std::size_t length = 0;
  int argument = 0;
  int stars[2] = {};
  int starCount = 0;

  bool Append(char c) {
    if (length + 1 >= kDirectiveLimit) return false;
    text[length++] = c;
    text[length] = '\0';
    return true;
  }
};

// Reads a run of digits; values above `limit` come back as limit + 1 so that
// a long run cannot overflow.
int ReadNumber(const char*& p, int limit) {
  int64_t value = 0;
  while (IsDigit(*p)) {
    if (value <= limit) value = value * 10 + (*p - '0');
    ++p;
  }
  return value > limit ? limit + 1 : static_cast<int>(value);
}

// A width or precision: "*", "*N$", or digits (a leading '-' is dropped).
bool ParseWidth(const char*& p, int count, int& next, Directive& d) {
  if (*p == '*') {
    ++p;
    if (!d.Append('*')) return false;
    const char* digits = p;
    int source = ReadNumber(p, count);
    if (p != digits && *p == '$') {
      ++p;
    } else {
      p = digits;
      source = next++;
    }
    d.stars[d.starCount++] = source;
    return true;
  }
  if (*p == '-') ++p;
  const char* digits = p;
  if (ReadNumber(p, kWidthLimit) > kWidthLimit) return false;
  for (; digits != p; ++digits) {
    if (!d.Append(*digits)) return false;
  }
  return true;
}

// Parses the directive that follows a '%' at `p` into `d`. Returns the
// position after it, or null when formatting must stop.
const char* ParseDirective(const char* p, int count, int& next, Directive& d) {
  d.Append('%');
  if (*p >= '1' && *p <= '9') {
    const char* start = p;
    int position = ReadNumber(p, count);
    if (position <= count) {
      d.argument = position;
      if (*p != '$') return p;
      ++p;
    } else {
      p = start;
    }
  }
  while (IsOneOf(*p, "-+ #0")) {
    if (!d.Append(*p++)) return nullptr;
  }
  if (!ParseWidth(p, count, next, d)) return nullptr;
  if (*p == '.') {
    ++p;
    if (!d.Append('.') || !ParseWidth(p, count, next, d)) return nullptr;
  }
  if (IsOneOf(*p, "Ljtz")) {
    if (!d.Append(*p++)) return nullptr;
  } else if (*p == 'h' || *p == 'l') {
    const char modifier = *p;
    if (!d.Append(*p++)) return nullptr;
    if (*p == modifier && !d.Append(*p++)) return nullptr;
  }
  // A directive cut off by the end of the text has no conversion to apply.
  if (*p == '\0' || !d.Append(*p++)) return nullptr;
  if (d.argument == 0) d.argument = next++;
  return p;
}

// Ends `directive` with a conversion from `accepted` and the length modifier that
// matches how the value is passed. The caller's own modifier never decides how
// wide a read is ("%ld" of a 32-bit value would read past it); only "h" and
// "hh" stay for 32-bit integers (`mayNarrow`), since they only narrow an int.
char FinishDirective(char* directive, const char* accepted, const char* modifier, bool mayNarrow) {
  std::size_t length = std::strlen(directive);
  char conversion = accepted[0];
  if (length > 1) {
    const char last = directive[--length];
    if (IsOneOf(last, accepted)) conversion = last;
    const std::size_t modifierEnd = length;
    while (IsOneOf(directive[length - 1], "hlLjzt")) --length;
    const std::string_view given(directive + length, modifierEnd - length);
    if (conversion == 'c') {
      modifier = "";
    } else if (mayNarrow && (given == "h" || given == "hh")) {
      length = modifierEnd;
    }
  }
  std::strcpy(directive + length, modifier);
  length += std::strlen(modifier);
  directive[length++] = conversion;
  directive[length] = '\0';
  return conversion;
}

template <typename V>
int Print(char* out, std::size_t size, const char* directive, const int* stars, int starCount,
          V value) {
  switch (starCount) {
    case 0:
      return std::snprintf(out, size, directive, value);
    case 1:
      return std::snprintf(out, size, directive, stars[0], value);
    default:
      return std::snprintf(out, size, directive, stars[0], stars[1], value);
  }
}

template <typename T>
const T& As(const void* argument) {
  return *static_cast<const T*>(argument);
}

int FormatInt32(char* out, std::size_t size, char* directive, const int* stars, int starCount,
                const void* argument) {
  FinishDirective(directive, "dciouxX", "", true);
  return Print(out, size, directive, stars, starCount, static_cast<int>(As<int32_t>(argument)));
}

int FormatUint32(char* out, std::size_t size, char* directive, const int* stars, int starCount,
                 const void* argument) {
  const uint32_t value = As<uint32_t>(argument);
  if (FinishDirective(directive, "ucdioxX", "", true) == 'c') {
    return Print(out, size, directive, stars, starCount, static_cast<int>(value));
  }
  return Print(out, size, directive, stars, starCount, static_cast<unsigned>(value));
}

int FormatChar(char* out, std::size_t size, char* directive, const int* stars, int starCount,
               const void* argument) {
  FinishDirective(directive, "cdiouxX", "", true);
  return Print(out, size, directive, stars, starCount, static_cast<int>(As<int32_t>(argument)));
}

int FormatInt64(char* out, std::size_t size, char* directive, const int* stars, int starCount,
                const void* argument) {
  const int64_t value = As<int64_t>(argument);
  if (FinishDirective(directive, "dciouxX", "ll", false) == 'c') {
    return Print(out, size, directive, stars, starCount, static_cast<int>(value));
  }
  return Print(out, size, directive, stars, starCount, static_cast<long long>(value));
}

int FormatUint64(char* out, std::size_t size, char* directive, const int* stars, int starCount,
                 const void* argument) {
  const uint64_t value = As<uint64_t>(argument);
  if (FinishDirective(directive, "ucdioxX", "ll", false) == 'c') {
    return Print(out, size, directive, stars, starCount, static_cast<int>(value));
  }
  return Print(out, size, directive, stars, starCount, static_cast<unsigned long long>(value));
}

int FormatDouble(char* out, std::size_t size, char* directive, const int* stars, int starCount,
                 const void* argument) {
  FinishDirective(directive, "gaefGAEF", "", false);
  return Print(out, size, directive, stars, starCount, As<double>(argument));
}

int FormatString(char* out, std::size_t size, char* directive, const int* stars, int starCount,
                 const void* argument) {
  FinishDirective(directive, "s", "", false);
  return Print(out, size, directive, stars, starCount, As<std::string>(argument).c_str());
}

int FormatCString(char* out, std::size_t size, char* directive, const int* stars, int starCount,
                  const void* argument) {
  FinishDirective(directive, "s", "", false);
  // Not every runtime survives a null "%s"; print what glibc prints.
  const char* text = As<const char*>(argument);
  return Print(out, size, directive, stars, starCount, text != nullptr ? text : "(null)");
}

int Int32Value(const void* argument) { return As<int32_t>(argument); }

int Uint32Value(const void* argument) { return static_cast<int>(As<uint32_t>(argument)); }

int Int64Value(const void* argument) {
  return static_cast<int>(static_cast<uint32_t>(As<int64_t>(argument)));
}

int Uint64Value(const void* argument) {
  return static_cast<int>(static_cast<uint32_t>(As<uint64_t>(argument)));
}

// Indexed by FormatKind.
constexpr FormatArgDescriptor kDescriptors[] = {
    {FormatInt32, Int32Value, true},   {FormatUint32, Uint32Value, true},
    {FormatChar, Int32Value, true},    {FormatInt64, Int64Value, true},
    {FormatUint64, Uint64Value, true}, {FormatDouble, nullptr, false},
    {FormatString, nullptr, false},    {FormatCString, nullptr, false},
};

}  // namespace

const FormatArgDescriptor& FormatDescriptorOf(FormatKind kind) {
  return kDescriptors[static_cast<int>(kind)];
}

std::size_t Format(char* buffer, std::size_t size, const char* format,
                   const FormatArgDescriptor* descriptors, const void* const* arguments,
                   int count) {
  if (buffer == nullptr || size == 0) return 0;
  const std::size_t end = size - 1;
  std::size_t out = 0;
  int next = 1;
  const char* p = format != nullptr ? format : "";
  while (*p != '\0' && out < end) {
    if (*p != '%') {
      buffer[out++] = *p++;
      continue;
    }
    if (p[1] == '%') {
      buffer[out++] = '%';
      p += 2;
      continue;
    }
    Directive d;
    p = ParseDirective(p + 1, count, next, d);
    if (p == nullptr || d.argument > count) break;
    int starValues[2] = {};
    bool starsValid = true;
    for (int i = 0; i < d.starCount; ++i) {
      const int source = d.stars[i];
      if (source < 1 || source > count || !descriptors[source - 1].mayBeStar) {
        starsValid = false;
        break;
      }
      starValues[i] = descriptors[source - 1].intValue(arguments[source - 1]);
      if (starValues[i] > kWidthLimit || starValues[i] < -kWidthLimit) {
        starsValid = false;
        break;
      }
    }
    if (!starsValid) break;
    const int written = descriptors[d.argument - 1].format(
        buffer + out, size - out, d.text, starValues, d.starCount, arguments[d.argument - 1]);
    // snprintf refuses what it cannot represent; keep what came before.
    if (written < 0) break;
    out = static_cast<std::size_t>(written) >= size - out ? end : out + written;
  }
  buffer[out] = '\0';
  return out;
}

std::string FormatToString(const char* format, const FormatArgDescriptor* descriptors,
                           const void* const* arguments, int count) {
  char buffer[kMessageBufferSize];
  const std::size_t length = Format(buffer, sizeof buffer, format, descriptors, arguments, count);
  return std::string(buffer, length);
}

}  // namespace Halden
