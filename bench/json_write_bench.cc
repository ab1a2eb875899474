// JsonWrite: writing a tree as compact and as pretty JSON text (4 spaces a
// level), from the trees of twitter.json, citm_catalog.json and canada.json;
// against RapidJSON's Writer and PrettyWriter of a Document.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "bench_data.h"
#include "benchmarks.h"
#include "formats/json_to_property.h"
#include "formats/property_to_json.h"

namespace Halden::bench {
namespace {

struct Input {
  BindingResult tree;
  rapidjson::Document document;
};

void Ours(benchmark::State& state, const Input* input, const char* lineBreak) {
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string text = PropertyToJson(input->tree, nullptr, lineBreak);
    bytes += text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

template <typename Writer>
void PeerRapidJson(benchmark::State& state, const Input* input) {
  std::size_t bytes = 0;
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    if constexpr (!std::is_same_v<Writer, rapidjson::Writer<rapidjson::StringBuffer>>) {
      writer.SetIndent(' ', 4);
    }
    input->document.Accept(writer);
    bytes += buffer.GetSize();
    benchmark::DoNotOptimize(buffer.GetString());
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

}  // namespace

void RegisterJsonWrite() {
  for (const char* name : kJsonDocuments) {
    // Lives until the process ends: the benchmarks refer to it.
    auto* input = new Input;
    const std::string text = ReadBenchFile(std::string(name) + ".json");
    input->tree = JsonToProperty(text.c_str());
    input->document.Parse(text.c_str(), text.size());
    if (!input->tree.Ok() || input->document.HasParseError()) {
      throw std::runtime_error(std::string(name) + ".json does not parse");
    }
    const std::string compact = std::string(name) + "-compact";
    const std::string pretty = std::string(name) + "-pretty";
    benchmark::RegisterBenchmark(("JsonWrite/ours/" + compact).c_str(), Ours, input, "");
    benchmark::RegisterBenchmark(("JsonWrite/peer-rapidjson/" + compact).c_str(),
                                 PeerRapidJson<rapidjson::Writer<rapidjson::StringBuffer>>, input);
    benchmark::RegisterBenchmark(("JsonWrite/ours/" + pretty).c_str(), Ours, input, "\n");
    benchmark::RegisterBenchmark(("JsonWrite/peer-rapidjson/" + pretty).c_str(),
                                 PeerRapidJson<rapidjson::PrettyWriter<rapidjson::StringBuffer>>,
                                 input);
  }
}

}  // namespace Halden::bench
