// MsgpackRead: reading a whole MessagePack document into a tree, and dropping
// it, from twitter.msgpack, citm_catalog.msgpack and canada.msgpack; against
// msgpack-c's msgpack::unpack into its own object zone.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <msgpack.hpp>
#include <stdexcept>
#include <string>

#include "bench_data.h"
#include "benchmarks.h"
#include "binding/message_pack_reader.h"

namespace Halden::bench {
namespace {

void Ours(benchmark::State& state, const std::string* bytes) {
  for (auto _ : state) {
    uint32_t position = 0;
    BindingResult tree = ReadMessagePack(reinterpret_cast<const uint8_t*>(bytes->data()),
                                         static_cast<uint32_t>(bytes->size()), position);
    benchmark::DoNotOptimize(tree);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes->size()));
}

void PeerMsgpack(benchmark::State& state, const std::string* bytes) {
  for (auto _ : state) {
    msgpack::object_handle tree = msgpack::unpack(bytes->data(), bytes->size());
    benchmark::DoNotOptimize(tree.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes->size()));
}

}  // namespace

void RegisterMsgpackRead() {
  for (const char* name : kJsonDocuments) {
    // Lives until the process ends: the benchmarks refer to it.
    const std::string* bytes = new std::string(ReadBenchFile(std::string(name) + ".msgpack"));
    uint32_t position = 0;
    if (!ReadMessagePack(reinterpret_cast<const uint8_t*>(bytes->data()),
                         static_cast<uint32_t>(bytes->size()), position)
             .Ok()) {
      throw std::runtime_error(std::string(name) + ".msgpack does not read");
    }
    benchmark::RegisterBenchmark(("MsgpackRead/ours/" + std::string(name)).c_str(), Ours, bytes);
    benchmark::RegisterBenchmark(("MsgpackRead/peer-msgpack-c/" + std::string(name)).c_str(),
                                 PeerMsgpack, bytes);
  }
}

}  // namespace Halden::bench
