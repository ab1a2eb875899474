#include "binding/message_pack_reader.h"

#include <array>
#include <bit>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/format.h"

namespace Halden {
namespace {

enum class FormatClass : uint8_t {
  kFixInt,
  kNil,
  kInvalid,  // never used, ext and fixext
  kFalse,
  kTrue,
  kBin,
  kFloat32,
  kFloat64,
  kUint,
  kInt,
  kStr,
  kArray,
  kMap,
};

// What a format byte starts, and the width in bytes of the field after it
// (a length, count or number); width 0 means the format byte holds the
// length or count itself.
struct FormatEntry {
  FormatClass type;
  uint8_t width;
};

constexpr std::array<FormatEntry, 256> MakeFormatTable() {
  using enum FormatClass;
  std::array<FormatEntry, 256> table{};
  for (FormatEntry& entry : table) entry = {kFixInt, 0};
  for (int b = 0x80; b <= 0x8F; ++b) table[b] = {kMap, 0};
  for (int b = 0x90; b <= 0x9F; ++b) table[b] = {kArray, 0};
  for (int b = 0xA0; b <= 0xBF; ++b) table[b] = {kStr, 0};
  constexpr FormatEntry kC0ToDF[32] = {
      {kNil, 0},     {kInvalid, 0}, {kFalse, 0},   {kTrue, 0},    {kBin, 1},     {kBin, 2},
      {kBin, 4},     {kInvalid, 0}, {kInvalid, 0}, {kInvalid, 0}, {kFloat32, 4}, {kFloat64, 8},
      {kUint, 1},    {kUint, 2},    {kUint, 4},    {kUint, 8},    {kInt, 1},     {kInt, 2},
      {kInt, 4},     {kInt, 8},     {kInvalid, 0}, {kInvalid, 0}, {kInvalid, 0}, {kInvalid, 0},
      {kInvalid, 0}, {kStr, 1},     {kStr, 2},     {kStr, 4},     {kArray, 2},   {kArray, 4},
      {kMap, 2},     {kMap, 4},
  };
  for (int i = 0; i < 32; ++i) table[0xC0 + i] = kC0ToDF[i];
  return table;
}

constexpr std::array<FormatEntry, 256> kFormatTable = MakeFormatTable();

const char* TruncatedFieldMessage(int width) {
  switch (width) {
    case 1:
      return "Invalid MessagePack data. 8-bit integer value at position %1 is truncated.";
    case 2:
      return "Invalid MessagePack data. 16-bit integer value at position %1 is truncated.";
    case 4:
      return "Invalid MessagePack data. 32-bit integer value at position %1 is truncated.";
    default:
      return "Invalid MessagePack data. 64-bit integer value at position %1 is truncated.";
  }
}

int64_t SignExtend(uint64_t value, int width) {
  const int shift = 64 - 8 * width;
  return static_cast<int64_t>(value << shift) >> shift;
}

class MessagePackReader {
 public:
  MessagePackReader(const uint8_t* bytes, uint32_t size) : bytes(bytes), size(size) {}

  BindingResult Read(uint32_t& stoppedAt);

 private:
  enum class FrameState : uint8_t { kValue, kArray, kMap };

  // One value being read: a pending value, or an array or map whose items
  // follow. A map counts its keys and values as items, so its count needs
  // 33 bits.
  struct Frame {
    explicit Frame(BindingProperty* target) : target(target) {}
    BindingProperty* target;
    FrameState state = FrameState::kValue;
    uint64_t count = 0;
    uint64_t index = 0;
    // The last key read, where it lies in the input.
    std::string_view key;
  };

  Frame* ChooseFrame(bool& keyMode);
  void ReadKey(FormatEntry format, uint8_t formatByte, std::string_view& key);
  void ReadValue(Frame& frame, FormatEntry format, uint8_t formatByte);
  void OpenContainer(Frame& frame, FrameState state, FormatEntry format, uint8_t formatByte);
  bool ReadLength(FormatEntry format, uint8_t formatByte, uint64_t& length);
  bool ReadField(int width, uint64_t& value);
  bool ReadText(uint64_t length, std::string_view& text);
  void Fail(const std::string& message) { result.SetError(message); }

  const uint8_t* bytes;
  uint32_t size;
  uint32_t position = 0;
  BindingResult result;
  std::vector<Frame> frames;
};

BindingResult MessagePackReader::Read(uint32_t& stoppedAt) {
  frames.reserve(16);
  frames.emplace_back(&result);
  while (result.Ok() && position < size) {
    bool keyMode = false;
    Frame* frame = ChooseFrame(keyMode);
    if (frame == nullptr) break;
    const uint8_t formatByte = bytes[position++];
    const FormatEntry format = kFormatTable[formatByte];
    if (keyMode) {
      ReadKey(format, formatByte, frame->key);
    } else {
      ReadValue(*frame, format, formatByte);
    }
  }
  stoppedAt = position;
  return std::move(result);
}

// The frame the next item fills, pushing one for the next element or member
// value; null once the outermost value is complete.
MessagePackReader::Frame* MessagePackReader::ChooseFrame(bool& keyMode) {
  while (!frames.empty()) {
    Frame& top = frames.back();
    if (top.state == FrameState::kValue) return &top;
    if (top.index == top.count) {
      frames.pop_back();
      continue;
    }
    BindingProperty* child;
    if (top.state == FrameState::kArray) {
      child = &top.target->At(static_cast<std::size_t>(top.index));
    } else if (top.index % 2 == 0) {
      ++top.index;
      keyMode = true;
      return &top;
    } else {
      child = &top.target->Member(top.key);
    }
    ++top.index;
    frames.emplace_back(child);
    return &frames.back();
  }
  return nullptr;
}

void MessagePackReader::ReadKey(FormatEntry format, uint8_t formatByte, std::string_view& key) {
  uint64_t length;
  if (format.type != FormatClass::kStr) {
    Fail(FormatMessage("Invalid MessagePack data at position %1. Map keys must be strings.",
                       position));
  } else if (ReadLength(format, formatByte, length)) {
    ReadText(length, key);
  }
}

void MessagePackReader::ReadValue(Frame& frame, FormatEntry format, uint8_t formatByte) {
  BindingProperty& target = *frame.target;
  uint64_t value;
  switch (format.type) {
    case FormatClass::kArray:
      OpenContainer(frame, FrameState::kArray, format, formatByte);
      return;
    case FormatClass::kMap:
      OpenContainer(frame, FrameState::kMap, format, formatByte);
      return;
    case FormatClass::kFixInt:
      target.SetSigned(static_cast<int8_t>(formatByte));
      break;
    case FormatClass::kNil:
      break;
    case FormatClass::kInvalid:
      Fail(FormatMessage("Invalid MessagePack data at position %1.", position));
      break;
    case FormatClass::kFalse:
    case FormatClass::kTrue:
      target.SetBool(format.type == FormatClass::kTrue);
      break;
    case FormatClass::kBin:
      if (!ReadLength(format, formatByte, value)) break;
      if (value > size - position) {
        Fail(FormatMessage(
            "Invalid MessagePack data. Raw bytes of size %1 at position %2 are truncated.", value,
            position));
        break;
      }
      target.SetBlob(std::vector<uint8_t>(bytes + position, bytes + position + value));
      position += static_cast<uint32_t>(value);
      break;
    case FormatClass::kFloat32:
      if (ReadField(format.width, value)) {
        target.SetFloat(std::bit_cast<float>(static_cast<uint32_t>(value)));
      }
      break;
    case FormatClass::kFloat64:
      if (ReadField(format.width, value)) target.SetFloat(std::bit_cast<double>(value));
      break;
    case FormatClass::kUint:
      if (ReadField(format.width, value)) target.SetUnsigned(value);
      break;
    case FormatClass::kInt:
      if (ReadField(format.width, value)) target.SetSigned(SignExtend(value, format.width));
      break;
    case FormatClass::kStr: {
      std::string_view text;
      if (ReadLength(format, formatByte, value) && ReadText(value, text)) {
        target.SetString(text.data(), text.size());
      }
      break;
    }
  }
  frames.pop_back();
}

// Makes the frame's target a container and leaves the frame on the stack for
// its items. Nothing is reserved for the announced count: the input may hold
// far fewer items.
void MessagePackReader::OpenContainer(Frame& frame, FrameState state, FormatEntry format,
                                      uint8_t formatByte) {
  if (frames.size() > kMaxMessagePackNesting) {
    Fail(FormatMessage(
        "Invalid MessagePack data at position %1. Nesting is deeper than 512 levels.", position));
    return;
  }
  uint64_t count;
  if (!ReadLength(format, formatByte, count)) return;
  if (state == FrameState::kArray) {
    frame.target->MakeCollection();
    frame.count = count;
  } else {
    frame.target->MakeStructure();
    frame.count = 2 * count;
  }
  frame.state = state;
  frame.index = 0;
}

bool MessagePackReader::ReadLength(FormatEntry format, uint8_t formatByte, uint64_t& length) {
  if (format.width != 0) return ReadField(format.width, length);
  length = formatByte & (format.type == FormatClass::kStr ? 0x1F : 0x0F);
  return true;
}

// Reads a big-endian field of `width` bytes.
bool MessagePackReader::ReadField(int width, uint64_t& value) {
  if (size - position < static_cast<uint32_t>(width)) {
    Fail(FormatMessage(TruncatedFieldMessage(width), position));
    return false;
  }
  value = 0;
  for (int i = 0; i < width; ++i) value = value << 8 | bytes[position + i];
  position += width;
  return true;
}

// The length is checked against the bytes left before anything is allocated;
// comparing with the remainder cannot overflow as position + length could.
bool MessagePackReader::ReadText(uint64_t length, std::string_view& text) {
  if (length > size - position) {
    Fail(FormatMessage("Invalid MessagePack data. String of size %1 at position %2 is truncated.",
                       length, position));
    return false;
  }
  text = std::string_view(reinterpret_cast<const char*>(bytes + position),
                          static_cast<std::size_t>(length));
  position += static_cast<uint32_t>(length);
  return true;
}

}  // namespace

BindingResult ReadMessagePack(const uint8_t* bytes, uint32_t size, uint32_t& position) {
  return MessagePackReader(bytes, size).Read(position);
}

bool LooksLikeMessagePack(const uint8_t* bytes, uint32_t size) {
  if (size == 0) return false;
  return (bytes[0] >= 0x80 && bytes[0] <= 0x9F) || (bytes[0] >= 0xDC && bytes[0] <= 0xDF);
}

}  // namespace Halden
