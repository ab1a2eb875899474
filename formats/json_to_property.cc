#include "formats/json_to_property.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <system_error>
#include <vector>

#include "formats/internal/rapidjson.h"
#include "formats/json_number.h"
#include "util/format.h"

namespace Halden {
namespace {

// Stores a number as the parser read it.
void SetNumber(BindingProperty& target, std::string_view text) {
  const json_internal::JsonNumber number = json_internal::ReadJsonNumber(text);
  switch (number.kind) {
    case json_internal::JsonNumber::Kind::Signed:
      target.SetSigned(number.signedValue);
      break;
    case json_internal::JsonNumber::Kind::Unsigned:
      target.SetUnsigned(number.unsignedValue);
      break;
    case json_internal::JsonNumber::Kind::Float:
      target.SetFloat(number.floatValue);
      break;
  }
}

// Fills a property from the parser's events. Containers stay open on a stack
// of pointers: an open container is never moved, because elements are only
// appended to the innermost one.
class PropertyHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, PropertyHandler> {
 public:
  explicit PropertyHandler(BindingProperty& root) : target(&root) {}

  bool TooDeep() const { return tooDeep; }

  bool Null() {
    Next();
    return true;
  }
  bool Bool(bool value) {
    Next().SetBool(value);
    return true;
  }
  bool RawNumber(const char* text, rapidjson::SizeType length, bool) {
    SetNumber(Next(), std::string_view(text, length));
    return true;
  }
  // The parser terminates every string, so the text ends at the first NUL.
  bool String(const char* text, rapidjson::SizeType, bool) {
    Next().SetString(text);
    return true;
  }
  bool Key(const char* text, rapidjson::SizeType, bool) {
    target = &open.back()->Member(text);
    return true;
  }
  bool StartObject() { return Open(BindingPropertyKind::Structure); }
  bool EndObject(rapidjson::SizeType) {
    open.pop_back();
    return true;
  }
  bool StartArray() { return Open(BindingPropertyKind::Collection); }
  bool EndArray(rapidjson::SizeType) {
    open.pop_back();
    return true;
  }

 private:
  // The property that receives the next value: a new element inside an
  // array, otherwise the member named last (or the root).
  BindingProperty& Next() {
    if (!open.empty() && open.back()->GetKind() == BindingPropertyKind::Collection) {
      target = &open.back()->Append();
    }
    return *target;
  }

  // A container already of that kind keeps its content (repeated names).
  // Refusing the level too deep stops the parse.
  bool Open(BindingPropertyKind kind) {
    if (open.size() == kMaxJsonNesting) {
      tooDeep = true;
      return false;
    }
    BindingProperty& container = Next();
    if (kind == BindingPropertyKind::Structure) {
      container.MakeStructure();
    } else {
      container.MakeCollection();
    }
    open.push_back(&container);
    return true;
  }

  BindingProperty* target;
  std::vector<BindingProperty*> open;
  bool tooDeep = false;
};

}  // namespace

BindingResult JsonToProperty(const char* text) {
  BindingResult result;
  if (text == nullptr) return result;
  const char* start = text;
  while (*start == ' ' || *start == '\n' || *start == '\r' || *start == '\t') ++start;
  if (*start == '\0') return result;

  PropertyHandler handler(result);
  rapidjson::Reader reader;
  rapidjson::StringStream stream(text);
  // The iterative parser keeps its state on the heap rather than recursing
  // per nesting level; it reports the same errors at the same offsets.
  // Numbers come as their text: the parser's own conversion reads past its
  // table of powers of ten for a long fraction with an exponent near the int
  // limit ("0.00000000001e-2147483639"), and is not correctly rounded.
  const rapidjson::ParseResult parsed =
      reader.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag>(stream,
                                                                                           handler);
  if (parsed.IsError()) {
    // The text is not blank, so "empty" means the iterative parser met a
    // closing bracket, comma or colon where the value should begin, which the
    // recursive parser calls an invalid value.
    const rapidjson::ParseErrorCode code = parsed.Code() == rapidjson::kParseErrorDocumentEmpty
                                               ? rapidjson::kParseErrorValueInvalid
                                               : parsed.Code();
    const char* reason = handler.TooDeep() ? "Nesting is deeper than 512 levels."
                                           : rapidjson::GetParseError_En(code);
    result.SetError(FormatMessage("Error: %s at offset %u.", reason, parsed.Offset()));
  }
  return result;
}

}  // namespace Halden
