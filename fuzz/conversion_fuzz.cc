// Decodes MessagePack input into a property tree and converts it into a
// registered record with nested records, vectors, enumerations and every
// scalar width; a record converted back must convert again to the same
// tree, directly and through the HostValue form that crosses the host
// boundary; the input read as a host value in place converts as it does
// through a property; and the parts of a record written straight into host
// values are the trees their properties cross as.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "binding/host_value_conversion.h"
#include "binding/message_pack_reader.h"
#include "binding/native_conversion.h"
#include "binding/property_visitor.h"
#include "binding/registration.h"

namespace {

using namespace Halden;

enum class Mode : int32_t { Off = 0, On = 1, Auto = -7 };
enum class Small : uint8_t { A = 1, B = 200 };

struct Leaf {
  std::string name;
  Mode mode = Mode::Off;
  double weight = 0;
  std::vector<int16_t> codes;
  BindingProperty extra;
};

struct Record {
  bool flag = false;
  int8_t i8 = 0;
  uint8_t u8 = 0;
  int16_t i16 = 0;
  uint16_t u16 = 0;
  int32_t i32 = 0;
  uint32_t u32 = 0;
  int64_t i64 = 0;
  uint64_t u64 = 0;
  float f32 = 0;
  double f64 = 0;
  std::string text;
  Mode mode = Mode::Off;
  Small small = Small::A;
  Leaf leaf;
  std::vector<Leaf> leaves;
  std::vector<std::string> names;
  std::vector<Mode> modes;
  std::vector<uint64_t> counts;
  std::vector<BindingProperty> objects;
  BindingProperty object;
};

const BindingRegistry& Registry() {
  static BindingRegistry* registry = [] {
    auto* created = new BindingRegistry();
    RegisterEnum<Mode>(*created, "Mode")
        .Value("Off", Mode::Off)
        .Value("On", Mode::On)
        .Value("Auto", Mode::Auto);
    RegisterEnum<Small>(*created, "Small").Value("A", Small::A).Value("B", Small::B);
    RegisterStruct<Leaf>(*created, "Leaf")
        .Field("name", &Leaf::name, "", kBindingFieldRequired)
        .Field("mode", &Leaf::mode)
        .Field("weight", &Leaf::weight)
        .Field("codes", &Leaf::codes)
        .Field("extra", &Leaf::extra);
    RegisterStruct<Record>(*created, "Record")
        .Field("flag", &Record::flag)
        .Field("i8", &Record::i8)
        .Field("u8", &Record::u8)
        .Field("i16", &Record::i16)
        .Field("u16", &Record::u16)
        .Field("i32", &Record::i32)
        .Field("u32", &Record::u32)
        .Field("i64", &Record::i64)
        .Field("u64", &Record::u64)
        .Field("f32", &Record::f32)
        .Field("f64", &Record::f64)
        .Field("text", &Record::text, "", kBindingFieldOmitIfEmpty)
        .Field("mode", &Record::mode)
        .Field("small", &Record::small)
        .Field("leaf", &Record::leaf)
        .Field("leaves", &Record::leaves)
        .Field("names", &Record::names)
        .Field("modes", &Record::modes)
        .Field("counts", &Record::counts)
        .Field("objects", &Record::objects)
        .Field("object", &Record::object);
    return created;
  }();
  return *registry;
}

// A checksum of a whole tree. Texts count up to their first NUL, which is
// all of a text that crosses the host boundary.
class ChecksumVisitor : public BindingPropertyVisitor {
 public:
  bool VisitEmpty() override { return Mix(1); }
  bool VisitBool(bool value) override { return Mix(value ? 2 : 3); }
  bool VisitSigned(int64_t value) override { return Mix(static_cast<uint64_t>(value) ^ 4); }
  bool VisitUnsigned(uint64_t value) override { return Mix(value ^ 5); }
  bool VisitFloat(double value) override { return Mix(std::bit_cast<uint64_t>(value)); }
  bool VisitString(const InternedString& value) override { return MixText(value.Text()); }
  bool VisitBlob(const std::vector<uint8_t>& value) override {
    for (uint8_t byte : value) Mix(byte);
    return Mix(value.size());
  }
  bool VisitEnum(const EnumValue& value) override { return Mix(value.value ^ 7); }
  bool BeginCollection(uint32_t count) override { return Mix(count ^ 8); }
  bool BeginElement(uint32_t index) override { return Mix(index); }
  bool EndElement(uint32_t) override { return true; }
  bool EndCollection() override { return Mix(9); }
  bool BeginStructure(uint32_t count) override { return Mix(count ^ 10); }
  bool BeginMember(const std::string& key) override { return MixText(key); }
  bool EndMember(const std::string&) override { return true; }
  bool EndStructure() override { return Mix(11); }

  uint64_t checksum = 0;

 private:
  bool Mix(uint64_t value) {
    checksum = (checksum ^ value) * 1099511628211u;
    return true;
  }
  bool MixText(const std::string& text) {
    for (const char* c = text.c_str(); *c != '\0'; ++c) Mix(static_cast<unsigned char>(*c));
    return Mix(12);
  }
};

uint64_t Checksum(const BindingProperty& tree) {
  ChecksumVisitor visitor;
  tree.Accept(visitor);
  return visitor.checksum;
}

// Whether two host trees are the same, ownership flags included.
bool SameHost(const HostValue& a, const HostValue& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case kHostNone:
      return true;
    case kHostBool:
      return a.boolean == b.boolean;
    case kHostStringOwned:
      return a.text.length == b.text.length && std::string_view(a.text.data, a.text.length) ==
                                                   std::string_view(b.text.data, b.text.length);
    case kHostCollection:
      if (a.collection.count != b.collection.count) return false;
      for (uint32_t i = 0; i < a.collection.count; ++i) {
        if (!SameHost(a.collection.elements[i], b.collection.elements[i])) return false;
      }
      return (a.collection.elements == nullptr) == (b.collection.elements == nullptr);
    case kHostStructure:
      if (a.structure.count != b.structure.count) return false;
      for (uint32_t i = 0; i < a.structure.count; ++i) {
        const HostMemberEntry& x = a.structure.entries[i];
        const HostMemberEntry& y = b.structure.entries[i];
        if (std::string_view(x.key) != std::string_view(y.key) || x.keyOwned != y.keyOwned ||
            !SameHost(x.value, y.value)) {
          return false;
        }
      }
      return (a.structure.entries == nullptr) == (b.structure.entries == nullptr);
    case kHostBlobOwned:
      return a.blob.length == b.blob.length &&
             (a.blob.length == 0 || std::memcmp(a.blob.data, b.blob.data, a.blob.length) == 0);
    default:
      return a.unsignedValue == b.unsignedValue;
  }
}

// `value` written straight into a host value is what its property crosses
// as, or, when it cannot be written so, the property has a failure to say.
template <typename T>
void CheckWrittenAsCrossed(const T& value) {
  HostValue written{};
  const bool direct = WriteHostValue(Registry(), value, written);
  const BindingResult property = ConvertToProperty(Registry(), value);
  HostValue crossed{};
  const bool throughProperty = property.Ok() && PropertyToHostValue(property, crossed, &Registry());
  if (direct && !(throughProperty && SameHost(written, crossed))) __builtin_trap();
  if (!direct && throughProperty) __builtin_trap();
  ReleaseHostValue(written);
  ReleaseHostValue(crossed);
}

// The tree of a record converted from `property`; traps when the
// conversion fails.
BindingResult Reconverted(const BindingProperty& property) {
  Record record;
  if (!ConvertFromProperty(Registry(), property, record, "<value>").Ok()) __builtin_trap();
  BindingResult tree = ConvertToProperty(Registry(), record);
  if (!tree.Ok()) __builtin_trap();
  return tree;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size > std::numeric_limits<uint32_t>::max()) return 0;
  uint32_t position = 0;
  const BindingResult input = ReadMessagePack(data, static_cast<uint32_t>(size), position);
  if (!input.Ok()) return 0;

  Record record;
  const BindingResult converted = ConvertFromProperty(Registry(), input, record, "<value>");
  if (!converted.Ok() && (converted.Error().empty() || converted.Size() != 1)) __builtin_trap();

  // Whatever the input did to the record, the record converts both ways.
  const BindingResult tree = ConvertToProperty(Registry(), record);
  if (!tree.Ok()) __builtin_trap();
  const uint64_t checksum = Checksum(tree);
  if (Checksum(Reconverted(tree)) != checksum) __builtin_trap();

  // The input read in place as a host value converts as it does once it is a
  // property again: the same message and the same record.
  HostValue inputHost;
  if (PropertyToHostValue(input, inputHost, &Registry())) {
    Record staged;
    Record direct;
    BindingProperty inputFromHost;
    if (!HostValueToProperty(inputHost, inputFromHost, "<value>", nullptr)) __builtin_trap();
    const std::string stagedError =
        ConvertFromProperty(Registry(), inputFromHost, staged, "<value>").Error();
    const std::string directError =
        ConvertFromHostValue(Registry(), inputHost, direct, "<value>").Error();
    ReleaseHostValue(inputHost);
    if (stagedError != directError || Checksum(ConvertToProperty(Registry(), staged)) !=
                                          Checksum(ConvertToProperty(Registry(), direct))) {
      __builtin_trap();
    }
  }

  CheckWrittenAsCrossed(record.leaf);
  CheckWrittenAsCrossed(record.leaves);
  CheckWrittenAsCrossed(record.names);
  CheckWrittenAsCrossed(record.modes);
  CheckWrittenAsCrossed(record.counts);
  CheckWrittenAsCrossed(record.objects);
  CheckWrittenAsCrossed(record.object);

  HostValue host;
  if (!PropertyToHostValue(tree, host, &Registry())) __builtin_trap();
  BindingProperty fromHost;
  const bool hostOk = HostValueToProperty(host, fromHost, "<value>", nullptr);
  ReleaseHostValue(host);
  if (!hostOk || Checksum(Reconverted(fromHost)) != checksum) __builtin_trap();
  return 0;
}
