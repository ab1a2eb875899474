// TreeBuildDestroy: the cost of building a large tree and dropping it, with
// no parsing measured. The input is parsed once into a RapidJSON Document;
// each iteration walks that Document and builds the same tree through each
// library's own calls.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "bench_data.h"
#include "benchmarks.h"
#include "binding/arena_page_source.h"
#include "binding/property.h"
#include "heap_counter.h"

namespace Halden::bench {
namespace {

struct Input {
  std::string text;
  rapidjson::Document document;
  int64_t values = 0;
};

int64_t CountValues(const rapidjson::Value& v) {
  int64_t count = 1;
  if (v.IsArray()) {
    for (const auto& element : v.GetArray()) count += CountValues(element);
  } else if (v.IsObject()) {
    for (const auto& member : v.GetObject()) count += CountValues(member.value);
  }
  return count;
}

void BuildOurs(const rapidjson::Value& from, BindingProperty& to) {
  switch (from.GetType()) {
    case rapidjson::kNullType:
      break;
    case rapidjson::kFalseType:
    case rapidjson::kTrueType:
      to.SetBool(from.GetBool());
      break;
    case rapidjson::kNumberType:
      if (from.IsInt64()) {
        to.SetSigned(from.GetInt64());
      } else if (from.IsUint64()) {
        to.SetUnsigned(from.GetUint64());
      } else {
        to.SetFloat(from.GetDouble());
      }
      break;
    case rapidjson::kStringType:
      to.SetString(from.GetString());
      break;
    case rapidjson::kArrayType:
      to.MakeCollection().Reserve(from.Size());
      for (const auto& element : from.GetArray()) BuildOurs(element, to.Append());
      break;
    case rapidjson::kObjectType:
      to.MakeStructure();
      for (const auto& member : from.GetObject()) {
        BuildOurs(member.value, to.Member(member.name.GetString()));
      }
      break;
  }
}

void BuildRapidJson(const rapidjson::Value& from, rapidjson::Value& to,
                    rapidjson::Document::AllocatorType& allocator) {
  switch (from.GetType()) {
    case rapidjson::kNullType:
      to.SetNull();
      break;
    case rapidjson::kFalseType:
    case rapidjson::kTrueType:
      to.SetBool(from.GetBool());
      break;
    case rapidjson::kNumberType:
      if (from.IsInt64()) {
        to.SetInt64(from.GetInt64());
      } else if (from.IsUint64()) {
        to.SetUint64(from.GetUint64());
      } else {
        to.SetDouble(from.GetDouble());
      }
      break;
    case rapidjson::kStringType:
      to.SetString(from.GetString(), from.GetStringLength(), allocator);
      break;
    case rapidjson::kArrayType:
      to.SetArray().Reserve(from.Size(), allocator);
      for (const auto& element : from.GetArray()) {
        rapidjson::Value child;
        BuildRapidJson(element, child, allocator);
        to.PushBack(child, allocator);
      }
      break;
    case rapidjson::kObjectType:
      to.SetObject();
      for (const auto& member : from.GetObject()) {
        rapidjson::Value name(member.name.GetString(), member.name.GetStringLength(), allocator);
        rapidjson::Value child;
        BuildRapidJson(member.value, child, allocator);
        to.AddMember(name, child, allocator);
      }
      break;
  }
}

nlohmann::json BuildNlohmann(const rapidjson::Value& from) {
  switch (from.GetType()) {
    case rapidjson::kNullType:
      return nullptr;
    case rapidjson::kFalseType:
    case rapidjson::kTrueType:
      return from.GetBool();
    case rapidjson::kNumberType:
      if (from.IsInt64()) return from.GetInt64();
      if (from.IsUint64()) return from.GetUint64();
      return from.GetDouble();
    case rapidjson::kStringType:
      return std::string(from.GetString(), from.GetStringLength());
    case rapidjson::kArrayType: {
      nlohmann::json array = nlohmann::json::array();
      array.get_ref<nlohmann::json::array_t&>().reserve(from.Size());
      for (const auto& element : from.GetArray()) array.push_back(BuildNlohmann(element));
      return array;
    }
    case rapidjson::kObjectType: {
      nlohmann::json object = nlohmann::json::object();
      for (const auto& member : from.GetObject()) {
        object.emplace(member.name.GetString(), BuildNlohmann(member.value));
      }
      return object;
    }
  }
  return nullptr;
}

void Report(benchmark::State& state, const Input& input, uint64_t heapBefore) {
  const auto iterations = static_cast<int64_t>(state.iterations());
  state.SetBytesProcessed(iterations * static_cast<int64_t>(input.text.size()));
  state.SetItemsProcessed(iterations * input.values);
  state.counters["heap_blocks_per_tree"] =
      static_cast<double>(HeapBlocks() - heapBefore) / static_cast<double>(iterations);
}

void Ours(benchmark::State& state, const Input* input) {
  const uint64_t heapBefore = HeapBlocks();
  const uint64_t pagesBefore = ArenaPageSource::Instance().GetCounters().pagesTaken;
  for (auto _ : state) {
    BindingProperty tree;
    BuildOurs(input->document, tree);
    benchmark::DoNotOptimize(tree);
  }
  Report(state, *input, heapBefore);
  state.counters["pages_per_tree"] =
      static_cast<double>(ArenaPageSource::Instance().GetCounters().pagesTaken - pagesBefore) /
      static_cast<double>(state.iterations());
}

void PeerRapidJson(benchmark::State& state, const Input* input) {
  const uint64_t heapBefore = HeapBlocks();
  for (auto _ : state) {
    rapidjson::Document tree;
    BuildRapidJson(input->document, tree, tree.GetAllocator());
    benchmark::DoNotOptimize(tree);
  }
  Report(state, *input, heapBefore);
}

void PeerNlohmann(benchmark::State& state, const Input* input) {
  const uint64_t heapBefore = HeapBlocks();
  for (auto _ : state) {
    nlohmann::json tree = BuildNlohmann(input->document);
    benchmark::DoNotOptimize(tree);
  }
  Report(state, *input, heapBefore);
}

}  // namespace

void RegisterTreeBuildDestroy() {
  // Lives until the process ends: the benchmarks refer to it.
  static Input* const input = [] {
    auto* loaded = new Input;
    loaded->text = ReadBenchFile("twitter.json");
    loaded->document.Parse(loaded->text.c_str(), loaded->text.size());
    if (loaded->document.HasParseError()) throw std::runtime_error("twitter.json does not parse");
    loaded->values = CountValues(loaded->document);
    return loaded;
  }();
  benchmark::RegisterBenchmark("TreeBuildDestroy/ours/twitter", Ours, input);
  benchmark::RegisterBenchmark("TreeBuildDestroy/peer-rapidjson/twitter", PeerRapidJson, input);
  benchmark::RegisterBenchmark("TreeBuildDestroy/peer-nlohmann/twitter", PeerNlohmann, input);
}

}  // namespace Halden::bench
