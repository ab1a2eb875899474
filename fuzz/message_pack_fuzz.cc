// Feeds arbitrary bytes to the MessagePack reader: every input must end in a
// tree or a failure message, the tree must stay within the nesting limit, and
// walking its copy must see the same values.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "binding/message_pack_reader.h"
#include "binding/property_visitor.h"

namespace {

using Halden::EnumValue;
using Halden::InternedString;

// Reads every value, key and byte of a walk into a running checksum, and
// tracks the nesting depth.
class TouchingVisitor : public Halden::BindingPropertyVisitor {
 public:
  bool VisitEmpty() override { return Mix(1); }
  bool VisitBool(bool value) override { return Mix(value ? 2 : 3); }
  bool VisitSigned(int64_t value) override { return Mix(static_cast<uint64_t>(value)); }
  bool VisitUnsigned(uint64_t value) override { return Mix(value); }
  bool VisitFloat(double value) override { return Mix(std::bit_cast<uint64_t>(value)); }
  bool VisitString(const InternedString& value) override { return MixBytes(value.Text()); }
  bool VisitBlob(const std::vector<uint8_t>& value) override {
    for (uint8_t byte : value) Mix(byte);
    return Mix(value.size());
  }
  bool VisitEnum(const EnumValue& value) override { return Mix(value.value); }
  bool BeginCollection(uint32_t count) override { return Open(count); }
  bool BeginElement(uint32_t index) override { return Mix(index); }
  bool EndElement(uint32_t index) override { return Mix(index); }
  bool EndCollection() override { return Close(); }
  bool BeginStructure(uint32_t count) override { return Open(count); }
  bool BeginMember(const std::string& key) override { return MixBytes(key); }
  bool EndMember(const std::string& key) override { return Mix(key.size()); }
  bool EndStructure() override { return Close(); }

  uint64_t checksum = 0;
  uint32_t depth = 0;
  uint32_t deepest = 0;

 private:
  bool Mix(uint64_t value) {
    checksum = (checksum ^ value) * 1099511628211u;
    return true;
  }
  bool MixBytes(const std::string& text) {
    for (char c : text) Mix(static_cast<unsigned char>(c));
    return Mix(text.size());
  }
  bool Open(uint32_t count) {
    if (++depth > deepest) deepest = depth;
    return Mix(count);
  }
  bool Close() {
    --depth;
    return Mix(0);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size > std::numeric_limits<uint32_t>::max()) return 0;
  uint32_t position = 0;
  const Halden::BindingResult result =
      Halden::ReadMessagePack(data, static_cast<uint32_t>(size), position);
  if (position > size) __builtin_trap();
  if (!result.Ok() && (result.Error().empty() || result.Size() != 1)) __builtin_trap();

  TouchingVisitor walk;
  if (!result.Accept(walk) || walk.deepest > Halden::kMaxMessagePackNesting) __builtin_trap();
  const Halden::BindingProperty copy = result;
  TouchingVisitor copyWalk;
  copy.Accept(copyWalk);
  if (copyWalk.checksum != walk.checksum) __builtin_trap();
  return 0;
}
