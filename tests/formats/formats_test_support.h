// Shared by the formats tests: a text repeated, a document read from text, and an
// element as compact text: {name:..} [..], shortest exact numbers, 'text', T, F, N.
#pragma once

#include <charconv>
#include <cstddef>
#include <string>

#include "formats/json_element.h"
#include "formats/json_reader.h"

namespace Halden {

inline std::string Repeat(const std::string& piece, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += piece;
  return text;
}

namespace json {

class Renderer : public ConstVisitor {
 public:
  void Visit(const Object& object) override {
    text += "{";
    for (const Object::Member& member : object) {
      text += (text.back() == '{' ? "" : ",") + member.name + ":";
      member.element.Accept(*this);
    }
    text += "}";
  }
  void Visit(const Array& array) override {
    text += "[";
    for (const Element& element : array) {
      if (text.back() != '[') text += ",";
      element.Accept(*this);
    }
    text += "]";
  }
  void Visit(const Number& number) override {
    char digits[32];
    text.append(digits, std::to_chars(digits, digits + sizeof digits, number.Value()).ptr);
  }
  void Visit(const String& string) override { text += "'" + string.Value() + "'"; }
  void Visit(const Boolean& boolean) override { text += boolean.Value() ? "T" : "F"; }
  void Visit(const Null&) override { text += "N"; }

  std::string text;
};

inline std::string Render(const Element& element) {
  Renderer renderer;
  element.Accept(renderer);
  return renderer.text;
}

inline Element Parse(const std::string& text) {
  Element element;
  Reader::Read(text.c_str(), element);
  return element;
}

}  // namespace json
}  // namespace Halden
