// JsonRead: reading a whole document into a tree, and dropping it, from the
// text of twitter.json, citm_catalog.json and canada.json; against RapidJSON's
// Document::Parse and nlohmann::json::parse.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "bench_data.h"
#include "benchmarks.h"
#include "formats/json_to_property.h"

namespace Halden::bench {
namespace {

void Ours(benchmark::State& state, const std::string* text) {
  for (auto _ : state) {
    BindingResult tree = JsonToProperty(text->c_str());
    benchmark::DoNotOptimize(tree);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text->size()));
}

void PeerRapidJson(benchmark::State& state, const std::string* text) {
  for (auto _ : state) {
    rapidjson::Document tree;
    tree.Parse(text->c_str(), text->size());
    benchmark::DoNotOptimize(tree);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text->size()));
}

void PeerNlohmann(benchmark::State& state, const std::string* text) {
  for (auto _ : state) {
    nlohmann::json tree = nlohmann::json::parse(*text);
    benchmark::DoNotOptimize(tree);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text->size()));
}

}  // namespace

void RegisterJsonRead() {
  for (const char* name : kJsonDocuments) {
    // Lives until the process ends: the benchmarks refer to it.
    const std::string* text = new std::string(ReadBenchFile(std::string(name) + ".json"));
    benchmark::RegisterBenchmark(("JsonRead/ours/" + std::string(name)).c_str(), Ours, text);
    benchmark::RegisterBenchmark(("JsonRead/peer-rapidjson/" + std::string(name)).c_str(),
                                 PeerRapidJson, text);
    benchmark::RegisterBenchmark(("JsonRead/peer-nlohmann/" + std::string(name)).c_str(),
                                 PeerNlohmann, text);
  }
}

}  // namespace Halden::bench
