#include "formats/property_to_json.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "binding/base64.h"
#include "binding/property_visitor.h"
#include "binding/registry.h"
#include "formats/internal/json_text.h"

namespace Halden {
namespace {

// Drives a compact or pretty writer; the walk goes on as long as the writer
// accepts what it is given.
template <typename Writer>
class JsonWritingVisitor final : public BindingPropertyVisitor {
 public:
  JsonWritingVisitor(Writer& writer, const BindingRegistry* registry)
      : writer(writer), registry(registry) {}

  bool VisitEmpty() override { return writer.Null(); }
  bool VisitBool(bool value) override { return writer.Bool(value); }
  bool VisitSigned(int64_t value) override { return writer.Int64(value); }
  bool VisitUnsigned(uint64_t value) override { return writer.Uint64(value); }
  // The writer refuses NaN and infinities only after it has written the
  // separator or member name before them; null keeps the text valid JSON.
  bool VisitFloat(double value) override {
    return std::isfinite(value) ? writer.Double(value) : writer.Null();
  }
  bool VisitString(const InternedString& value) override { return Text(value.Text()); }
  bool VisitBlob(const std::vector<uint8_t>& value) override { return Text(Base64Encode(value)); }
  bool VisitEnum(const EnumValue& value) override {
    const std::string* name =
        registry != nullptr ? registry->EnumeratorName(value.type, value.value) : nullptr;
    return name != nullptr ? Text(*name) : writer.Int(value.value);
  }
  bool BeginCollection(uint32_t) override { return writer.StartArray(); }
  bool BeginElement(uint32_t) override { return true; }
  bool EndElement(uint32_t) override { return true; }
  bool EndCollection() override { return writer.EndArray(); }
  bool BeginStructure(uint32_t) override { return writer.StartObject(); }
  bool BeginMember(const std::string& key) override {
    return internal::WriteJsonText(writer, key, true);
  }
  bool EndMember(const std::string&) override { return true; }
  bool EndStructure() override { return writer.EndObject(); }

 private:
  bool Text(const std::string& text) { return internal::WriteJsonText(writer, text); }

  Writer& writer;
  const BindingRegistry* registry;
};

template <typename Writer>
void Write(const BindingProperty& value, const BindingRegistry* registry, Writer& writer) {
  JsonWritingVisitor<Writer> visitor(writer, registry);
  value.Accept(visitor);
}

}  // namespace

std::string PropertyToJson(const BindingProperty& value, const BindingRegistry* registry,
                           const char* lineBreak) {
  if (value.IsEmpty()) return {};
  rapidjson::StringBuffer buffer;
  if (lineBreak == nullptr || *lineBreak == '\0') {
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    Write(value, registry, writer);
    return std::string(buffer.GetString(), buffer.GetSize());
  }
  rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
  writer.SetIndent(' ', 4);
  Write(value, registry, writer);
  const char* text = buffer.GetString();
  const std::size_t size = buffer.GetSize();
  if (std::strcmp(lineBreak, "\n") == 0) return std::string(text, size);
  // Strings hold their line feeds escaped, so every raw one is a line break.
  std::string replaced;
  for (std::size_t i = 0; i < size; ++i) {
    if (text[i] == '\n') {
      replaced += lineBreak;
    } else {
      replaced += text[i];
    }
  }
  return replaced;
}

}  // namespace Halden
