// SmallTreeBuildDestroy: building and dropping the tree of one request body
// of typical size (the 25 values of small-request.json) by direct calls.
// Besides time, each side reports the pages it took from the arena page
// source and the heap blocks it took, per tree.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <cstdint>

#include "benchmarks.h"
#include "binding/arena_page_source.h"
#include "binding/property.h"
#include "heap_counter.h"

namespace Halden::bench {
namespace {

// The values below the root of small-request.json.
constexpr int64_t kValuesPerTree = 25;

struct Item {
  const char* k;
  int64_t v;
};
constexpr Item kItems[] = {{"x", 1}, {"y", 2}, {"z", 3}};

void BuildOurs(BindingProperty& root) {
  root.Member("id").SetSigned(12345);
  root.Member("name").SetString("example item");
  root.Member("enabled").SetBool(true);
  root.Member("ratio").SetFloat(0.75);
  BindingProperty& tags = root.Member("tags").MakeCollection().Reserve(3);
  tags.Append().SetString("alpha");
  tags.Append().SetString("beta");
  tags.Append().SetString("gamma");
  BindingProperty& owner = root.Member("owner");
  owner.Member("id").SetSigned(7);
  owner.Member("name").SetString("alice");
  BindingProperty& roles = owner.Member("roles").MakeCollection().Reserve(2);
  roles.Append().SetString("admin");
  roles.Append().SetString("dev");
  BindingProperty& items = root.Member("items").MakeCollection().Reserve(3);
  for (const Item& item : kItems) {
    BindingProperty& entry = items.Append();
    entry.Member("k").SetString(item.k);
    entry.Member("v").SetSigned(item.v);
  }
  root.Member("note");
}

// RapidJSON's own idiom: constant member names by reference, string values
// copied into the pool.
void BuildRapidJson(rapidjson::Value& root, rapidjson::MemoryPoolAllocator<>& allocator) {
  using rapidjson::Value;
  root.SetObject();
  root.AddMember("id", 12345, allocator);
  root.AddMember("name", Value("example item", allocator), allocator);
  root.AddMember("enabled", true, allocator);
  root.AddMember("ratio", 0.75, allocator);
  Value tags(rapidjson::kArrayType);
  tags.Reserve(3, allocator);
  tags.PushBack(Value("alpha", allocator), allocator);
  tags.PushBack(Value("beta", allocator), allocator);
  tags.PushBack(Value("gamma", allocator), allocator);
  root.AddMember("tags", tags, allocator);
  Value owner(rapidjson::kObjectType);
  owner.AddMember("id", 7, allocator);
  owner.AddMember("name", Value("alice", allocator), allocator);
  Value roles(rapidjson::kArrayType);
  roles.Reserve(2, allocator);
  roles.PushBack(Value("admin", allocator), allocator);
  roles.PushBack(Value("dev", allocator), allocator);
  owner.AddMember("roles", roles, allocator);
  root.AddMember("owner", owner, allocator);
  Value items(rapidjson::kArrayType);
  items.Reserve(3, allocator);
  for (const Item& item : kItems) {
    Value entry(rapidjson::kObjectType);
    entry.AddMember("k", Value(item.k, allocator), allocator);
    entry.AddMember("v", item.v, allocator);
    items.PushBack(entry, allocator);
  }
  root.AddMember("items", items, allocator);
  root.AddMember("note", Value(), allocator);
}

struct Usage {
  uint64_t heapBlocks = HeapBlocks();
  uint64_t pages = ArenaPageSource::Instance().GetCounters().pagesTaken;
};

void Report(benchmark::State& state, const Usage& before) {
  const Usage after;
  const auto iterations = static_cast<double>(state.iterations());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kValuesPerTree);
  state.counters["heap_blocks_per_tree"] =
      static_cast<double>(after.heapBlocks - before.heapBlocks) / iterations;
  state.counters["pages_per_tree"] = static_cast<double>(after.pages - before.pages) / iterations;
}

void Ours(benchmark::State& state) {
  const Usage before;
  for (auto _ : state) {
    BindingProperty root;
    BuildOurs(root);
    benchmark::DoNotOptimize(root);
  }
  Report(state, before);
}

void PeerRapidJson(benchmark::State& state) {
  char buffer[4096];
  const Usage before;
  for (auto _ : state) {
    rapidjson::MemoryPoolAllocator<> allocator(buffer, sizeof buffer);
    rapidjson::Value root;
    BuildRapidJson(root, allocator);
    benchmark::DoNotOptimize(root);
  }
  Report(state, before);
}

}  // namespace

void RegisterSmallTreeBuildDestroy() {
  benchmark::RegisterBenchmark("SmallTreeBuildDestroy/ours/small-request", Ours);
  benchmark::RegisterBenchmark("SmallTreeBuildDestroy/peer-rapidjson/small-request", PeerRapidJson);
}

}  // namespace Halden::bench
