#include "formats/yaml_to_property.h"

#include <yaml.h>

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "binding/number_conversion.h"
#include "formats/number_magnitude.h"
#include "util/format.h"

namespace Halden {
namespace {

constexpr char kStringTag[] = "tag:yaml.org,2002:str";
constexpr char kIntTag[] = "tag:yaml.org,2002:int";
constexpr char kFloatTag[] = "tag:yaml.org,2002:float";
constexpr char kBoolTag[] = "tag:yaml.org,2002:bool";

constexpr std::string_view kNullWords[] = {"", "~", "null", "Null", "NULL"};
constexpr std::string_view kTrueWords[] = {"true", "True", "TRUE", "y",  "Y", "yes",
                                           "Yes",  "YES",  "on",   "On", "ON"};
constexpr std::string_view kFalseWords[] = {"false", "False", "FALSE", "n",   "N",  "no",
                                            "No",    "NO",    "off",   "Off", "OFF"};

template <std::size_t N>
bool IsOneOf(std::string_view text, const std::string_view (&words)[N]) {
  for (std::string_view word : words) {
    if (text == word) return true;
  }
  return false;
}

const char* Text(const yaml_char_t* text) { return reinterpret_cast<const char*>(text); }

// Owns the parser and the event being handled, whatever way reading ends.
struct Parser {
  Parser() {
    if (yaml_parser_initialize(&parser) == 0) throw std::bad_alloc();
  }
  ~Parser() {
    yaml_event_delete(&event);
    yaml_parser_delete(&parser);
  }
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  yaml_parser_t parser;
  yaml_event_t event{};
};

// Size of a subtree: its properties and its levels of containers.
struct Extent {
  uint64_t count = 0;
  uint32_t height = 0;
};

// Recurses once per level; the trees read here never exceed kMaxYamlNesting.
void Measure(const BindingProperty& node, uint32_t depth, Extent& extent) {
  ++extent.count;
  const BindingPropertyKind kind = node.GetKind();
  if (kind == BindingPropertyKind::Collection) {
    extent.height = std::max(extent.height, depth + 1);
    for (uint32_t i = 0; i < node.Size(); ++i) Measure(node.Element(i), depth + 1, extent);
  } else if (kind == BindingPropertyKind::Structure) {
    extent.height = std::max(extent.height, depth + 1);
    for (auto [key, child] : node.Members()) Measure(child, depth + 1, extent);
  }
}

// Maps the parser's events onto a property.
//
// Nodes are found again by their way from the root, not by pointer: a
// collection that grows moves its elements. The ways form a tree of steps, so
// that an anchor costs one step however deep it sits.
class EventReader {
 public:
  EventReader(BindingResult& result, InputQuoting quoting) : result(result), quoting(quoting) {}

  // False when the event made the result an error.
  bool Handle(const yaml_event_t& event) {
    switch (event.type) {
      case YAML_DOCUMENT_START_EVENT:
        if (!result.IsEmpty()) return Fail("Multi-document YAML is not supported.");
        // Anchors belong to their document: one on an empty first document
        // would name the root the next document is building.
        anchors.clear();
        steps.resize(1);
        return true;
      case YAML_ALIAS_EVENT:
        return Alias(event);
      case YAML_SCALAR_EVENT:
        return Scalar(event);
      case YAML_SEQUENCE_START_EVENT:
        return Open(event, event.data.sequence_start.anchor, false);
      case YAML_MAPPING_START_EVENT:
        return Open(event, event.data.mapping_start.anchor, true);
      case YAML_SEQUENCE_END_EVENT:
      case YAML_MAPPING_END_EVENT:
        Close();
        return true;
      default:
        return true;
    }
  }

 private:
  // One step from a node to its child; step 0 stands for the root.
  struct Step {
    uint32_t parent = 0;
    bool isIndex = false;
    uint32_t index = 0;
    std::string key;
  };

  // An anchor names the node reached by `step`, or the key text `key`.
  struct Anchor {
    bool onKey = false;
    std::string key;
    uint32_t step = 0;
    bool open = false;  // a container not yet ended
  };

  struct Frame {
    BindingProperty* node;
    bool isMapping;
    uint32_t step;
    Anchor* anchor;
  };

  // Where the next node goes.
  struct Place {
    BindingProperty* node = nullptr;
    Step step;
    bool isRoot = false;
  };

  // Finds the place of the next node: the root, a new element, or the member
  // of the pending key. False when the node is a mapping key.
  bool Locate(Place& place) {
    if (frames.empty()) {
      place.node = &result;
      place.isRoot = true;
      return true;
    }
    const Frame& top = frames.back();
    place.step.parent = top.step;
    if (!top.isMapping) {
      place.step.isIndex = true;
      place.step.index = top.node->Size();
      place.node = &top.node->Append();
      return true;
    }
    if (!pendingKey) return false;
    place.node = &top.node->Member(*pendingKey);
    place.step.key = std::move(*pendingKey);
    pendingKey.reset();
    return true;
  }

  uint32_t Remember(Place& place) {
    if (place.isRoot) return 0;
    steps.push_back(std::move(place.step));
    return static_cast<uint32_t>(steps.size() - 1);
  }

  const BindingProperty& Resolve(uint32_t step) const {
    std::vector<uint32_t> way;
    for (; step != 0; step = steps[step].parent) way.push_back(step);
    const BindingProperty* node = &result;
    for (auto it = way.rbegin(); it != way.rend(); ++it) {
      const Step& s = steps[*it];
      node = s.isIndex ? &node->Element(s.index) : &node->Find(s.key);
    }
    return *node;
  }

  Anchor* Record(const yaml_char_t* name, const yaml_event_t& event) {
    auto [entry, inserted] = anchors.try_emplace(Text(name));
    if (!inserted) {
      FailAt("Duplicate occurrence of anchor \"%1\". At line: %2 col: %3", Text(name), event);
      return nullptr;
    }
    return &entry->second;
  }

  // Only copies count: the input's own values are bounded by its size.
  bool CountCopies(uint64_t values, const yaml_event_t& event) {
    valueCount += values;
    if (valueCount <= kMaxYamlValues) return true;
    return FailAt("YAML alias expansion exceeds 1000000 values. At line: %1 col: %2", event);
  }

  // Keys copied by aliases count by their bytes too: a long key named again
  // and again would be copied and hashed each time.
  bool CountKeyBytes(std::size_t bytes, const yaml_event_t& event) {
    keyBytes += bytes;
    if (keyBytes <= kMaxYamlValues) return true;
    return FailAt("YAML alias expansion exceeds 1000000 bytes of keys. At line: %1 col: %2", event);
  }

  bool Open(const yaml_event_t& event, const yaml_char_t* anchorName, bool mapping) {
    Place place;
    if (!Locate(place)) {
      return FailAt(mapping ? "Unexpected start of mapping. At line: %1 col: %2"
                            : "Unexpected start of sequence. At line: %1 col: %2",
                    event);
    }
    if (frames.size() == kMaxYamlNesting) {
      return FailAt("Nesting is deeper than 512 levels. At line: %1 col: %2", event);
    }
    if (mapping) {
      place.node->MakeStructure();
    } else {
      place.node->MakeCollection();
    }
    Frame frame{place.node, mapping, Remember(place), nullptr};
    if (anchorName != nullptr) {
      frame.anchor = Record(anchorName, event);
      if (frame.anchor == nullptr) return false;
      frame.anchor->step = frame.step;
      frame.anchor->open = true;
    }
    frames.push_back(frame);
    return true;
  }

  void Close() {
    if (frames.back().anchor != nullptr) frames.back().anchor->open = false;
    frames.pop_back();
  }

  bool Scalar(const yaml_event_t& event) {
    const auto& scalar = event.data.scalar;
    Place place;
    if (!Locate(place)) {
      if (scalar.tag != nullptr && std::strcmp(Text(scalar.tag), kStringTag) != 0) {
        return FailAt(
            "Invalid mapping key. Only string scalar keys are allowed. At line: %1 col: %2", event);
      }
      std::string key(Text(scalar.value), scalar.length);
      if (scalar.anchor != nullptr) {
        Anchor* anchor = Record(scalar.anchor, event);
        if (anchor == nullptr) return false;
        anchor->onKey = true;
        anchor->key = key;
      }
      pendingKey = std::move(key);
      return true;
    }
    if (!Assign(*place.node, event)) return false;
    if (scalar.anchor != nullptr) {
      Anchor* anchor = Record(scalar.anchor, event);
      if (anchor == nullptr) return false;
      anchor->step = Remember(place);
    }
    return true;
  }

  bool Alias(const yaml_event_t& event) {
    const char* name = Text(event.data.alias.anchor);
    const auto found = anchors.find(name);
    Place place;
    if (!Locate(place)) return AliasKey(found, name, event);
    if (found != anchors.end() && found->second.open) {
      return FailAt("Cannot deserialize cyclic aliases. Alias \"%1\". At line: %2 col: %3", name,
                    event);
    }
    if (found == anchors.end()) {
      return FailAt("Undefined alias encountered: \"%1\". At line: %2 col: %3", name, event);
    }
    const Anchor& anchor = found->second;
    if (anchor.onKey) {
      if (!CountCopies(1, event) || !CountKeyBytes(anchor.key.size(), event)) return false;
      place.node->SetString(anchor.key);
      return true;
    }
    const BindingProperty& node = Resolve(anchor.step);
    Extent extent;
    Measure(node, 0, extent);
    if (frames.size() + extent.height > kMaxYamlNesting) {
      return FailAt("Nesting is deeper than 512 levels. At line: %1 col: %2", event);
    }
    if (!CountCopies(extent.count, event)) return false;
    *place.node = node;
    return true;
  }

  // An alias where a key is expected names the key: the text of an anchored
  // key or string.
  bool AliasKey(std::unordered_map<std::string, Anchor>::const_iterator found, const char* name,
                const yaml_event_t& event) {
    if (found == anchors.end()) {
      return FailAt("Undefined alias encountered: \"%1\". At line: %2 col: %3", name, event);
    }
    if (found->second.onKey) {
      if (!CountKeyBytes(found->second.key.size(), event)) return false;
      pendingKey = found->second.key;
      return true;
    }
    const BindingProperty& node = Resolve(found->second.step);
    if (node.GetKind() != BindingPropertyKind::String) {
      return FailAt("Invalid mapping key. Only string scalar keys are allowed. At line: %1 col: %2",
                    event);
    }
    if (!CountKeyBytes(node.Size(), event)) return false;
    pendingKey = node.GetString();
    return true;
  }

  bool Assign(BindingProperty& target, const yaml_event_t& event) {
    const auto& scalar = event.data.scalar;
    const char* text = Text(scalar.value);
    const std::string_view value(text, scalar.length);
    if (scalar.tag == nullptr) {
      if (scalar.style == YAML_SINGLE_QUOTED_SCALAR_STYLE ||
          scalar.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE) {
        target.SetString(std::string(value));
      } else {
        AssignPlain(target, value);
      }
      return true;
    }
    const char* tag = Text(scalar.tag);
    if (std::strcmp(tag, kStringTag) == 0) {
      target.SetString(std::string(value));
      return true;
    }
    if (std::strcmp(tag, kBoolTag) == 0) {
      if (IsOneOf(value, kTrueWords)) target.SetBool(true);
      if (IsOneOf(value, kFalseWords)) target.SetBool(false);
      return true;
    }
    const bool isInt = std::strcmp(tag, kIntTag) == 0;
    if (!isInt && std::strcmp(tag, kFloatTag) != 0) {
      return Fail(FormatMessage("Unsupported YAML tag '%1'.", Quote(tag)));
    }
    const std::string number(value);
    BindingResult conversion;
    if (!isInt) {
      double parsed = 0;
      if (!ParseFloatText(conversion, number, "yaml", "double", -DBL_MAX, DBL_MAX, parsed)) {
        return FailConversion(conversion, "double");
      }
      target.SetFloat(parsed);
    } else if (value.starts_with('-')) {
      int64_t parsed = 0;
      if (!ParseSignedText(conversion, number, "yaml", "int64_t",
                           std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                           parsed)) {
        return FailConversion(conversion, "int64_t");
      }
      target.SetSigned(parsed);
    } else {
      uint64_t parsed = 0;
      if (!ParseUnsignedText(conversion, number, "yaml", "uint64_t",
                             std::numeric_limits<uint64_t>::max(), parsed)) {
        return FailConversion(conversion, "uint64_t");
      }
      target.SetUnsigned(parsed);
    }
    return true;
  }

  static void AssignPlain(BindingProperty& target, std::string_view value) {
    if (IsOneOf(value, kNullWords)) return;
    if (AssignNumber(target, value)) return;
    if (IsOneOf(value, kTrueWords)) {
      target.SetBool(true);
    } else if (IsOneOf(value, kFalseWords)) {
      target.SetBool(false);
    } else {
      target.SetString(std::string(value));
    }
  }

  // A plain scalar that is a finite number in the syntax of the C library's
  // text-to-double routine (leading blanks, a sign, decimal or "0x" digits,
  // an exponent), read the same whatever locale the host has set. Decimal
  // integers are read exactly; whole numbers beyond 64 bits stay Float.
  static bool AssignNumber(BindingProperty& target, std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const char* first = text.data() + i;
    const char* const last = text.data() + text.size();
    if (first == last || *first == '+' || *first == '-') return false;
    uint64_t magnitude = 0;
    const auto whole = std::from_chars(first, last, magnitude);
    if (whole.ptr == last && whole.ec == std::errc()) {
      if (!negative || magnitude == 0) {
        target.SetUnsigned(magnitude);
        return true;
      }
      if (magnitude <= uint64_t{1} << 63) {
        target.SetSigned(static_cast<int64_t>(0 - magnitude));
        return true;
      }
    }
    double number = 0;
    const bool hex = last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X');
    const auto read =
        hex ? HexFromChars(first + 2, last, number) : std::from_chars(first, last, number);
    if (read.ptr != last) return false;
    if (read.ec == std::errc::result_out_of_range) {
      // Too small a magnitude reads as zero, too large as infinity.
      const char* const digits = hex ? first + 2 : first;
      if (internal::NumberMagnitude(std::string_view(digits, last - digits), hex) > 0) return false;
      number = 0;
    } else if (read.ec != std::errc() || !std::isfinite(number)) {
      return false;
    }
    if (negative) number = -number;
    // A decimal integer beyond 64 bits stays Float, however it rounds.
    if (whole.ptr == last || number != std::trunc(number)) {
      target.SetFloat(number);
    } else if (number < 0 && number >= -0x1p63) {
      target.SetSigned(static_cast<int64_t>(number));
    } else if (number >= 0 && number < 0x1p64) {
      target.SetUnsigned(static_cast<uint64_t>(number));
    } else {
      target.SetFloat(number);
    }
    return true;
  }

  bool Fail(const std::string& message) {
    result.SetError(message);
    return false;
  }

  bool FailAt(const char* format, const yaml_event_t& event) {
    return Fail(FormatMessage(format, event.start_mark.line + 1, event.start_mark.column + 1));
  }

  bool FailAt(const char* format, const char* name, const yaml_event_t& event) {
    return Fail(
        FormatMessage(format, Quote(name), event.start_mark.line + 1, event.start_mark.column + 1));
  }

  const char* Quote(const char* text) const {
    return quoting == InputQuoting::Withheld ? kWithheldInput : text;
  }

  // A number conversion's message quotes the scalar; withheld, it is made
  // again around kWithheldInput.
  bool FailConversion(const BindingResult& conversion, const char* typeName) {
    if (quoting == InputQuoting::Quoted) return Fail(conversion.Error());
    const char* format = conversion.Error().ends_with("out of range")
                             ? "Value %1 for '%2' of type %3 is out of range"
                             : "Value %1 for '%2' of type %3 is in an incorrect format";
    return Fail(FormatMessage(format, kWithheldInput, "yaml", typeName));
  }

  BindingResult& result;
  InputQuoting quoting;
  std::vector<Frame> frames;
  std::vector<Step> steps;
  std::unordered_map<std::string, Anchor> anchors;
  std::optional<std::string> pendingKey;
  uint64_t valueCount = 0;
  uint64_t keyBytes = 0;
};

}  // namespace

BindingResult YamlToProperty(const char* text, std::size_t length, InputQuoting quoting) {
  BindingResult result;
  Parser parser;
  yaml_parser_set_encoding(&parser.parser, YAML_UTF8_ENCODING);
  yaml_parser_set_input_string(
      &parser.parser, reinterpret_cast<const unsigned char*>(text ? text : ""), text ? length : 0);
  EventReader reader(result, quoting);
  for (;;) {
    yaml_event_delete(&parser.event);
    if (yaml_parser_parse(&parser.parser, &parser.event) == 0) {
      if (parser.parser.error == YAML_MEMORY_ERROR) throw std::bad_alloc();
      result.SetError(FormatMessage("YAML parser error: %1. At line: %2 col: %3",
                                    parser.parser.problem, parser.parser.problem_mark.line,
                                    parser.parser.problem_mark.column));
      break;
    }
    if (!reader.Handle(parser.event) || parser.event.type == YAML_STREAM_END_EVENT) break;
  }
  return result;
}

}  // namespace Halden
