#include "formats/json_reader.h"

#include <cstddef>
#include <locale>
#include <optional>
#include <sstream>
#include <string_view>
#include <unordered_set>
#include <utility>

namespace Halden::json {

namespace {

using Token = Reader::Token;
using Kind = Token::Kind;
using ScanException = Reader::ScanException;
using ParseException = Reader::ParseException;

// The tokens whose text is fixed, by their first byte.
struct Fixed {
  Kind kind;
  std::string_view text;
};

const Fixed* FindFixed(char first) {
  static constexpr Fixed kFixed[] = {
      {Kind::ObjectBegin, "{"}, {Kind::ObjectEnd, "}"},   {Kind::ArrayBegin, "["},
      {Kind::ArrayEnd, "]"},    {Kind::NextElement, ","}, {Kind::MemberAssign, ":"},
      {Kind::Boolean, "true"},  {Kind::Boolean, "false"}, {Kind::Null, "null"},
  };
  for (const Fixed& fixed : kFixed) {
    if (fixed.text.front() == first) return &fixed;
  }
  return nullptr;
}

class Scanner {
 public:
  explicit Scanner(const char* text) : text(text != nullptr ? text : "") {}

  // Scans the next token into `token`; false at the end of the text.
  bool Next(Token& token) {
    SkipSpace();
    const char c = text[offset];
    if (c == '\0') return false;
    token = Token{Kind::Null, {}, Offset(), 0};
    if (const Fixed* fixed = FindFixed(c)) {
      token.kind = fixed->kind;
      token.value = fixed->text;
      Expect(fixed->text);
    } else if (c == '"') {
      token.kind = Kind::String;
      token.value = ScanString();
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      token.kind = Kind::Number;
      token.value = ScanNumber();
    } else {
      throw ScanException(std::string("Unexpected character in stream: ") + c, Offset());
    }
    token.end = Offset();
    return true;
  }

 private:
  // Offsets are 32-bit by contract; a longer text only gets wrapped locations.
  std::uint32_t Offset() const { return static_cast<std::uint32_t>(offset); }

  void SkipSpace() {
    for (;;) {
      switch (text[offset]) {
        case ' ':
        case '\t':
        case '\n':
        case '\v':
        case '\f':
        case '\r':
          ++offset;
          break;
        default:
          return;
      }
    }
  }

  // A mismatching byte counts as read; the terminating NUL does not.
  void Expect(std::string_view expected) {
    for (char e : expected) {
      const char c = text[offset];
      if (c == '\0') Fail(expected);
      ++offset;
      if (c != e) Fail(expected);
    }
  }

  [[noreturn]] void Fail(std::string_view expected) const {
    throw ScanException("Expected string: " + std::string(expected), Offset());
  }

  std::string ScanString() {
    Expect("\"");
    std::string value;
    for (char c = text[offset]; c != '"' && c != '\0'; c = text[offset]) {
      ++offset;
      if (c != '\\' || text[offset] == '\0') {
        value += c;
        continue;
      }
      const char escape = text[offset++];
      switch (escape) {
        case '"':
        case '/':
        case '\\':
          value += escape;
          break;
        case 'b':
          value += '\b';
          break;
        case 'f':
          value += '\f';
          break;
        case 'n':
          value += '\n';
          break;
        case 'r':
          value += '\r';
          break;
        case 't':
          value += '\t';
          break;
        case 'u':
          // Left undecoded: the four digits follow as ordinary bytes.
          value += "\\u";
          break;
        default:
          throw ScanException(
              std::string("Unrecognized escape sequence found in string: \\") + escape, Offset());
      }
    }
    Expect("\"");
    return value;
  }

  std::string ScanNumber() {
    constexpr std::string_view kNumberBytes = "0123456789.eE-+";
    const std::size_t begin = offset;
    while (text[offset] != '\0' && kNumberBytes.find(text[offset]) != std::string_view::npos) {
      ++offset;
    }
    return std::string(text + begin, offset - begin);
  }

  const char* text;
  std::size_t offset = 0;
};

// The parser's view of the tokens: scanned one ahead of the parse, so that
// reading holds one token at a time rather than the whole text's.
class TokenStream {
 public:
  explicit TokenStream(const char* text) : scanner(text) {}

  bool AtEnd() {
    Fill();
    return !ahead;
  }
  const Token& Peek() {
    Fill();
    return ahead.value();
  }
  bool NextIs(Kind kind) { return !AtEnd() && ahead->kind == kind; }

  // The matched token, valid until the stream moves on.
  Token Match(Kind kind) {
    if (AtEnd()) throw ParseException("Unexpected End of token stream", 0, 0);
    if (ahead->kind != kind) UnexpectedToken(*ahead);
    Token token = std::move(*ahead);
    ahead.reset();
    filled = false;
    return token;
  }

  [[noreturn]] static void UnexpectedToken(const Token& token) {
    throw ParseException("Unexpected token: " + token.value, token.begin, token.end);
  }

  // Scans what is left of the text: a scan failure anywhere in the text
  // comes before a parse failure, as if the whole text was scanned first.
  void ScanRest() {
    Token token;
    while (scanner.Next(token)) {
    }
  }

 private:
  void Fill() {
    if (filled) return;
    Token token;
    if (scanner.Next(token)) ahead = std::move(token);
    filled = true;
  }

  Scanner scanner;
  std::optional<Token> ahead;
  bool filled = false;
};

// Each parse function consumes its tokens from the stream. depth is the
// nesting level of the container being parsed, or for ParseElement that of
// the container holding the element.
void ParseElement(TokenStream& stream, Element& element, int depth);

// Objects with more members than this look names up in a set of their own
// rather than one by one, so that a large object reads in linear time.
constexpr std::size_t kLinearNameSearch = 16;

void ParseObject(TokenStream& stream, Object& object, int depth) {
  stream.Match(Kind::ObjectBegin);
  std::unordered_set<std::string> names;
  if (!stream.AtEnd() && stream.Peek().kind != Kind::ObjectEnd) {
    for (;;) {
      Token name = stream.Match(Kind::String);
      stream.Match(Kind::MemberAssign);
      Element element;
      ParseElement(stream, element, depth);
      const bool repeated = object.Size() < kLinearNameSearch ? object.Find(name.value) != nullptr
                                                              : !names.insert(name.value).second;
      if (repeated) {
        throw ParseException("Duplicate object member token: " + name.value, name.begin, name.end);
      }
      if (object.Size() + 1 == kLinearNameSearch) {
        for (const Object::Member& member : object) names.insert(member.name);
        names.insert(name.value);
      }
      object.Append(std::move(name.value), std::move(element));
      if (!stream.NextIs(Kind::NextElement)) break;
      stream.Match(Kind::NextElement);
    }
  }
  stream.Match(Kind::ObjectEnd);
}

void ParseArray(TokenStream& stream, Array& array, int depth) {
  stream.Match(Kind::ArrayBegin);
  if (stream.AtEnd() || stream.Peek().kind == Kind::ArrayEnd) {
    stream.Match(Kind::ArrayEnd);
    return;
  }
  for (;;) {
    ParseElement(stream, array.Append(Element()), depth);
    if (!stream.NextIs(Kind::NextElement)) break;
    stream.Match(Kind::NextElement);
  }
  stream.Match(Kind::ArrayEnd);
}

void ParseNumber(TokenStream& stream, Number& number) {
  const Token token = stream.Match(Kind::Number);
  std::istringstream input(token.value);
  input.imbue(std::locale::classic());
  double value = 0;
  input >> value;
  if (!input.eof()) {
    // A failed extraction leaves the stream unable to peek until cleared.
    input.clear();
    const char next = static_cast<char>(input.peek());
    throw ParseException(std::string("Unexpected character in NUMBER token: ") + next, token.begin,
                         token.end);
  }
  number.SetValue(value);
}

// The recursion follows the document's nesting, so its depth is bounded
// before a container is entered.
void CheckNesting(const Token& token, int depth) {
  if (depth >= Reader::kMaxNesting) {
    throw ParseException(
        "Nesting is deeper than " + std::to_string(Reader::kMaxNesting) + " levels", token.begin,
        token.end);
  }
}

void ParseElement(TokenStream& stream, Element& element, int depth) {
  if (stream.AtEnd()) throw ParseException("Unexpected end of token stream", 0, 0);
  const Token& token = stream.Peek();
  switch (token.kind) {
    case Kind::ObjectBegin:
      CheckNesting(token, depth);
      ParseObject(stream, element.AsObject(), depth + 1);
      break;
    case Kind::ArrayBegin:
      CheckNesting(token, depth);
      ParseArray(stream, element.AsArray(), depth + 1);
      break;
    case Kind::String:
      element.AsString().SetValue(stream.Match(Kind::String).value);
      break;
    case Kind::Number:
      ParseNumber(stream, element.AsNumber());
      break;
    case Kind::Boolean:
      element.AsBoolean().SetValue(stream.Match(Kind::Boolean).value == "true");
      break;
    case Kind::Null:
      stream.Match(Kind::Null);
      element.AsNull();
      break;
    default:
      TokenStream::UnexpectedToken(token);
  }
}

}  // namespace

void Reader::Scan(const char* text, Tokens& tokens) {
  Scanner scanner(text);
  Token token;
  while (scanner.Next(token)) tokens.push_back(std::move(token));
}

void Reader::Read(const char* text, Element& document) {
  TokenStream stream(text);
  document = Element();
  try {
    ParseObject(stream, document.AsObject(), 1);
    if (!stream.AtEnd()) {
      const Token& token = stream.Peek();
      throw ParseException("Expected End of token stream; found " + token.value, token.begin,
                           token.end);
    }
  } catch (const ParseException&) {
    stream.ScanRest();
    throw;
  }
}

}  // namespace Halden::json
