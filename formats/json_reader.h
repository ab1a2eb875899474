// Reads JSON text into the document model: a scanner cuts the text into
// tokens, a recursive parser builds the element tree from them. The scanner
// runs one token ahead of the parser, so reading takes memory for the tree
// and one token, not for every token of the text; it fails as if the whole
// text had been scanned first (a scan failure anywhere in the text is the
// one reported).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/json_element.h"
#include "formats/json_exception.h"

namespace Halden::json {

class Reader {
 public:
  // One token of the input, with the byte offsets of its first byte and of
  // the byte just behind it. The value is the token's text; for a string it
  // is the unescaped contents without the quotes.
  struct Token {
    enum class Kind {
      ObjectBegin,
      ObjectEnd,
      ArrayBegin,
      ArrayEnd,
      NextElement,
      MemberAssign,
      String,
      Number,
      Boolean,
      Null,
    };

    Kind kind;
    std::string value;
    std::uint32_t begin;
    std::uint32_t end;
  };
  using Tokens = std::vector<Token>;

  // A failure of the scanner, located at a byte offset of the input.
  class ScanException : public Exception {
   public:
    ScanException(const std::string& message, std::uint32_t location)
        : Exception(message), location(location) {}

    std::uint32_t Location() const { return location; }

   private:
    std::uint32_t location;
  };

  // A failure of the parser, located at the token concerned (both offsets 0
  // when the token list ended).
  class ParseException : public Exception {
   public:
    ParseException(const std::string& message, std::uint32_t begin, std::uint32_t end)
        : Exception(message), begin(begin), end(end) {}

    std::uint32_t LocationBegin() const { return begin; }
    std::uint32_t LocationEnd() const { return end; }

   private:
    std::uint32_t begin;
    std::uint32_t end;
  };

  // The deepest nesting of objects and arrays that Read accepts, the
  // top-level object counting as the first level. Deeper documents fail with
  // ParseException "Nesting is deeper than 512 levels" at the token that
  // opens the level too deep, so that neither the parser nor the release of
  // the tree can exhaust the stack.
  static constexpr int kMaxNesting = 512;

  // Replaces document by the object read from text, which ends at its first
  // NUL (a null pointer reads as empty text). The top level must be one
  // object and nothing may follow it. Throws ScanException or ParseException;
  // on failure document may hold a partly built tree.
  static void Read(const char* text, Element& document);

  // Appends the tokens of text, up to its first NUL (a null pointer reads as
  // empty text), to tokens. Throws ScanException.
  static void Scan(const char* text, Tokens& tokens);
};

}  // namespace Halden::json
