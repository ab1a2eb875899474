// YamlRead: reading citm_catalog.yaml into a tree, and dropping it; against
// libyaml's bare event loop, which parses the same text and builds nothing.
#include <benchmark/benchmark.h>
#include <yaml.h>

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

#include "bench_data.h"
#include "benchmarks.h"
#include "formats/yaml_to_property.h"

namespace Halden::bench {
namespace {

void Ours(benchmark::State& state, const std::string* text) {
  for (auto _ : state) {
    BindingResult tree = YamlToProperty(text->data(), text->size());
    benchmark::DoNotOptimize(tree);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text->size()));
}

void PeerLibyaml(benchmark::State& state, const std::string* text) {
  for (auto _ : state) {
    yaml_parser_t parser;
    if (yaml_parser_initialize(&parser) == 0) throw std::bad_alloc();
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(text->data()),
                                 text->size());
    yaml_event_t event;
    bool end = false;
    while (!end && yaml_parser_parse(&parser, &event) != 0) {
      end = event.type == YAML_STREAM_END_EVENT;
      yaml_event_delete(&event);
    }
    yaml_parser_delete(&parser);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text->size()));
}

}  // namespace

void RegisterYamlRead() {
  // Lives until the process ends: the benchmarks refer to it.
  const std::string* text = new std::string(ReadBenchFile("citm_catalog.yaml"));
  if (!YamlToProperty(text->data(), text->size()).Ok()) {
    throw std::runtime_error("citm_catalog.yaml does not read");
  }
  benchmark::RegisterBenchmark("YamlRead/ours/citm_catalog", Ours, text);
  benchmark::RegisterBenchmark("YamlRead/peer-libyaml/citm_catalog", PeerLibyaml, text);
}

}  // namespace Halden::bench
