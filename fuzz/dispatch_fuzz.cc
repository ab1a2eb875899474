// Feeds random calls through the API table of a plugin whose endpoints cover
// every parameter type, location and body format: method code and name,
// path with query, headers, content type, body bytes and explicit arguments
// of every HostValue kind (and unknown ones). Any answer is fine; a crash,
// a leak or a read outside the call's bytes is not. A piece of the path may
// repeat up to a megabyte, so that small inputs reach long keys and deep
// argument paths ("?obj.a.a.a…=1").
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "host/in_process_host.h"
#include "tests/support/sample_plugin.h"

namespace {

using namespace Halden;

// The values and texts an explicit argument tree refers to, kept alive for
// the call.
struct Storage {
  std::deque<std::string> texts;
  std::deque<std::vector<HostValue>> arrays;
  std::deque<std::vector<HostMemberEntry>> entries;
};

HostValue RandomValue(FuzzedDataProvider& data, Storage& storage, int depth) {
  HostValue value{};
  value.kind = data.ConsumeIntegralInRange<int32_t>(-1, 11);
  switch (value.kind) {
    case kHostBool:
      value.boolean = data.ConsumeIntegral<uint8_t>();
      break;
    case kHostSigned:
    case kHostUnsigned:
    case kHostFloat:
      value.unsignedValue = data.ConsumeIntegral<uint64_t>();
      break;
    case kHostStringBorrowed:
    case kHostStringOwned:
    case kHostBlobBorrowed:
    case kHostBlobOwned: {
      const std::string& text = storage.texts.emplace_back(data.ConsumeRandomLengthString(64));
      // A length that may disagree with the text, as a broken host's might.
      value.text = {data.ConsumeBool() ? nullptr : text.c_str(),
                    data.ConsumeBool() ? static_cast<uint32_t>(text.size())
                                       : data.ConsumeIntegralInRange<uint32_t>(0, text.size())};
      break;
    }
    case kHostCollection: {
      std::vector<HostValue>& elements = storage.arrays.emplace_back();
      const int count = depth > 4 ? 0 : data.ConsumeIntegralInRange(0, 4);
      for (int i = 0; i < count; ++i) elements.push_back(RandomValue(data, storage, depth + 1));
      value.collection = {elements.empty() ? nullptr : elements.data(),
                          static_cast<uint32_t>(elements.size())};
      break;
    }
    case kHostStructure: {
      std::vector<HostMemberEntry>& members = storage.entries.emplace_back();
      const int count = depth > 4 ? 0 : data.ConsumeIntegralInRange(0, 4);
      for (int i = 0; i < count; ++i) {
        const std::string& key = storage.texts.emplace_back(data.ConsumeRandomLengthString(8));
        members.push_back(
            {data.ConsumeBool() ? key.c_str() : nullptr, RandomValue(data, storage, depth + 1), 0});
      }
      value.structure = {members.empty() ? nullptr : members.data(),
                         static_cast<uint32_t>(members.size())};
      break;
    }
    default:
      break;
  }
  return value;
}

// Repeated pieces of the path make at most 2^kRepeatedScale bytes.
constexpr std::size_t kRepeatedScale = 20;

host::InProcessHost& Host() {
  static host::InProcessHost* host = [] {
    auto* created = new host::InProcessHost();
    created->Register(&testing::LoadSamplePlugin);
    created->Initialize();
    return created;
  }();
  return *host;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  host::InProcessHost& host = Host();
  const ApiTable& table = *host.Table();
  const ApiEndpointEntry& entry =
      table.entries[data.ConsumeIntegralInRange<uint32_t>(0, table.entryCount - 1)];
  Storage storage;
  host::CallRequest request;
  request.method = data.ConsumeIntegralInRange<uint32_t>(0, 9);
  request.methodName = data.ConsumeRandomLengthString(8);
  // Mostly the entry's own template, so that binding is reached.
  request.path = data.ConsumeBool() ? std::string(entry.pathTemplate) : "";
  request.path += data.ConsumeRandomLengthString(128);
  // Lengths spread over every scale up to a megabyte, short ones as often as
  // long ones.
  const std::string piece = data.ConsumeRandomLengthString(8);
  const std::size_t scale = data.ConsumeIntegralInRange<std::size_t>(0, kRepeatedScale);
  const std::size_t repeats = data.ConsumeIntegralInRange<std::size_t>(0, std::size_t{1} << scale) /
                              std::max<std::size_t>(piece.size(), 1);
  for (std::size_t i = 0; i < repeats; ++i) request.path += piece;
  request.path += data.ConsumeRandomLengthString(128);
  for (int i = data.ConsumeIntegralInRange(0, 3); i > 0; --i) {
    request.headers.emplace_back(data.ConsumeRandomLengthString(16),
                                 data.ConsumeRandomLengthString(32));
  }
  static const char* const kContentTypes[] = {"",
                                              "application/json",
                                              "application/x-msgpack",
                                              "application/x-yaml",
                                              "application/vnd.api+json; charset=utf-8",
                                              "text/plain",
                                              "text/x-yaml"};
  request.contentType = data.PickValueInArray(kContentTypes);
  for (int i = data.ConsumeIntegralInRange(0, 3); i > 0; --i) {
    const std::string& name = storage.texts.emplace_back(data.ConsumeRandomLengthString(8));
    request.arguments.push_back(
        {data.ConsumeBool() ? name.c_str() : nullptr, RandomValue(data, storage, 0)});
  }
  request.hasBody = data.ConsumeBool();
  request.body = data.ConsumeRemainingBytesAsString();
  host.CallEntry(entry, request);
  return 0;
}
