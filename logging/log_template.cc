#include "logging/log_template.h"

#include <cctype>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/format.h"

namespace Halden {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The characters a printf directive may hold between its '%' and its
// conversion letter.
bool IsDirectiveChar(char c) { return c != '\0' && std::strchr("0123456789$-+ #.*hlLjzt", c); }

bool HasPosition(std::string_view body) {
  std::size_t i = 0;
  while (i < body.size() && IsDigit(body[i])) ++i;
  return i > 0 && i < body.size() && body[i] == '$';
}

std::string FieldName(const std::string& name, bool typed, const LogValue& value) {
  if (!typed) return name;
  const std::size_t underscore = name.rfind('_');
  if (underscore != std::string::npos) {
    const std::string_view tail = std::string_view(name).substr(underscore);
    for (const char* known : {"_bool", "_int", "_long", "_float", "_str", "_time"}) {
      if (tail == known) return name;
    }
  }
  switch (value.kind) {
    case LogValueKind::kBool:
      return name + "_bool";
    case LogValueKind::kSigned:
    case LogValueKind::kUnsigned:
      return name + "_int";
    case LogValueKind::kFloat:
      return name + "_float";
    case LogValueKind::kText:
      return name + "_str";
  }
  return name;
}

struct Placeholder {
  bool typed = false;
  bool silent = false;
  bool hasAlternative = false;
  bool hasConversion = false;
  std::string name;
  std::string alternative;
  std::string conversion;
};

// Parses the placeholder after its '{' at `i`; false when the template ends
// before its '}'.
bool ParsePlaceholder(std::string_view t, std::size_t& i, Placeholder& p) {
  if (i < t.size() && t[i] == '#') {
    p.typed = true;
    ++i;
  }
  std::string* part = &p.name;
  while (i < t.size()) {
    const char c = t[i++];
    switch (c) {
      case '}':
        return true;
      case '!':
        p.silent = true;
        break;
      case '?':
        p.hasAlternative = true;
        part = &p.alternative;
        break;
      case ':':
        p.hasConversion = true;
        part = &p.conversion;
        break;
      case '\\':
        if (i < t.size()) part->push_back(t[i++]);
        break;
      case '{':
        break;
      default:
        part->push_back(c);
        break;
    }
  }
  return false;
}

// The positional format being built. A bare reference such as "%1" ends
// where a digit or "$" would otherwise extend it ("%10", "%1$"), so whatever
// text lands right behind one, literal or alternative, first closes it.
class PositionalOutput {
 public:
  void Put(std::string_view piece) {
    if (!piece.empty() && text.size() == bareEnd && (IsDigit(piece[0]) || piece[0] == '$')) {
      text += "$s";
    }
    text += piece;
  }
  void Put(char c) { Put(std::string_view(&c, 1)); }
  void PutBareReference(std::size_t argument) {
    Put('%' + std::to_string(argument));
    bareEnd = text.size();
  }
  // Removes trailing white space, which never reaches into a reference.
  void TrimSpace() {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  }
  std::string Take() { return std::move(text); }

 private:
  std::string text;
  std::size_t bareEnd = std::string::npos;
};

}  // namespace

LogValue LogValue::Bool(bool value) {
  LogValue v;
  v.kind = LogValueKind::kBool;
  v.integer = value ? 1 : 0;
  return v;
}

LogValue LogValue::Signed(int64_t value) {
  LogValue v;
  v.kind = LogValueKind::kSigned;
  v.integer = value;
  return v;
}

LogValue LogValue::Unsigned(uint64_t value) {
  LogValue v;
  v.kind = LogValueKind::kUnsigned;
  v.unsignedInteger = value;
  return v;
}

LogValue LogValue::Float(double value) {
  LogValue v;
  v.kind = LogValueKind::kFloat;
  v.real = value;
  return v;
}

LogValue LogValue::Text(std::string value) {
  LogValue v;
  v.text = std::move(value);
  return v;
}

bool LogValue::IsEmpty() const {
  switch (kind) {
    case LogValueKind::kBool:
    case LogValueKind::kSigned:
      return integer == 0;
    case LogValueKind::kUnsigned:
      return unsignedInteger == 0;
    case LogValueKind::kFloat:
      return real == 0.0;
    case LogValueKind::kText:
      return text.empty();
  }
  return true;
}

std::string TemplateToPositional(std::string_view t, std::span<const LogValue> arguments,
                                 LogFields* fields) {
  PositionalOutput out;
  std::size_t next = 0;
  std::size_t i = 0;
  while (i < t.size()) {
    const char c = t[i];
    if (c == '%') {
      if (i + 1 < t.size() && t[i + 1] == '%') {
        out.Put("%%");
        i += 2;
        continue;
      }
      const std::size_t start = ++i;
      while (i < t.size() && IsDirectiveChar(t[i])) ++i;
      if (i == t.size()) break;  // no conversion letter: nothing to print
      const std::string_view body = t.substr(start, ++i - start);
      if (++next > arguments.size()) continue;
      // A plain directive would take the formatter's own next argument, which
      // is not this one once a placeholder came before it.
      out.Put(HasPosition(body) ? "%" : '%' + std::to_string(next) + '$');
      out.Put(body);
      continue;
    }
    if (c == '{' && i + 1 < t.size() && t[i + 1] == '{') {
      out.Put('{');
      i += 2;
      continue;
    }
    if (c == '}') {
      out.Put('}');
      i += (i + 1 < t.size() && t[i + 1] == '}') ? 2 : 1;
      continue;
    }
    if (c != '{') {
      out.Put(c);
      ++i;
      continue;
    }
    ++i;
    Placeholder p;
    if (!ParsePlaceholder(t, i, p)) break;
    if (++next > arguments.size()) continue;
    const LogValue& value = arguments[next - 1];
    if (p.hasAlternative && value.IsEmpty()) {
      // The alternative is plain text inside a format.
      for (char a : p.alternative) out.Put(a == '%' ? "%%" : std::string(1, a));
      continue;
    }
    if (!p.name.empty() && fields != nullptr) {
      (*fields)[FieldName(p.name, p.typed, value)] = value;
    }
    if (p.silent) {
      out.TrimSpace();
      continue;
    }
    if (p.hasConversion) {
      out.Put('%' + std::to_string(next) + '$' + p.conversion);
    } else {
      out.PutBareReference(next);
    }
  }
  return out.Take();
}

void FormatTemplate(std::string_view templateText, std::span<const LogValue> arguments,
                    std::string* text, LogFields* fields) {
  const std::string positional = TemplateToPositional(templateText, arguments, fields);
  std::vector<FormatArgDescriptor> descriptors;
  std::vector<const void*> addresses;
  for (const LogValue& value : arguments) {
    switch (value.kind) {
      case LogValueKind::kBool:
      case LogValueKind::kSigned:
        descriptors.push_back(FormatDescriptorOf(FormatKind::kInt64));
        addresses.push_back(&value.integer);
        break;
      case LogValueKind::kUnsigned:
        descriptors.push_back(FormatDescriptorOf(FormatKind::kUint64));
        addresses.push_back(&value.unsignedInteger);
        break;
      case LogValueKind::kFloat:
        descriptors.push_back(FormatDescriptorOf(FormatKind::kDouble));
        addresses.push_back(&value.real);
        break;
      case LogValueKind::kText:
      default:
        descriptors.push_back(FormatDescriptorOf(FormatKind::kString));
        addresses.push_back(&value.text);
        break;
    }
  }
  if (text != nullptr) {
    *text = FormatToString(positional.c_str(), descriptors.data(), addresses.data(),
                           static_cast<int>(descriptors.size()));
  }
}

}  // namespace Halden
