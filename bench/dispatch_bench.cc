// Dispatch: a local call through the API table callback, as the host makes
// it, against the same work written by hand with RapidJSON.
//   get-struct: a GET without arguments whose handler returns a record of
//     five members; the response is converted for the host and released.
//   put-json: a PUT with a 200-byte JSON body bound to a record parameter and
//     two query parameters; the response is empty.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "benchmarks.h"
#include "host/in_process_host.h"
#include "table_call.h"
#include "tests/support/sample_plugin.h"

namespace Halden::bench {
namespace {

using testing::Color;
using testing::Summary;

// 200 bytes.
const std::string kBody = R"({"name":")" + std::string(137, 'n') +
                          R"(","count":123456,"active":true,"ratio":0.125,"color":"Green"})";
const char* const kPutPath = "/v1/summary?limit=25&verbose=true";

struct Fixture {
  host::InProcessHost host;
  const ApiEndpointEntry* get = nullptr;
  const ApiEndpointEntry* put = nullptr;
  testing::SamplePlugin* plugin = nullptr;

  Fixture() {
    if (!host.Register(&testing::LoadSamplePlugin)) throw std::runtime_error("no sample plugin");
    plugin = static_cast<testing::SamplePlugin*>(host.Registration().instance);
    get = &FindEntry(*host.Table(), "GetV1Summary");
    put = &FindEntry(*host.Table(), "PutV1Summary");
  }
};

Fixture& SharedFixture() {
  static Fixture* fixture = new Fixture();
  return *fixture;
}

void OursGet(benchmark::State& state) {
  Fixture& fixture = SharedFixture();
  ApiCallRecord call{};
  call.method = kMethodGet;
  call.path = "/v1/summary";
  for (auto _ : state) CallThroughTable(*fixture.get, call);
  state.SetItemsProcessed(state.iterations());
}

void OursPut(benchmark::State& state) {
  Fixture& fixture = SharedFixture();
  ApiCallRecord call{};
  call.method = kMethodPut;
  call.path = kPutPath;
  call.contentType = "application/json";
  call.body = reinterpret_cast<const uint8_t*>(kBody.data());
  call.bodyLength = static_cast<uint32_t>(kBody.size());
  for (auto _ : state) CallThroughTable(*fixture.put, call);
  if (fixture.plugin->lastLimit != 25 || fixture.plugin->lastSummary.count != 123456) {
    state.SkipWithError("the call was not bound");
  }
  state.SetItemsProcessed(state.iterations());
}

const char* ColorName(Color color) {
  switch (color) {
    case Color::Green:
      return "Green";
    case Color::Blue:
      return "Blue";
    default:
      return "Red";
  }
}

void HandwrittenGet(benchmark::State& state) {
  for (auto _ : state) {
    const Summary summary{"sample", 42, true, 0.5, Color::Blue};
    rapidjson::Document document;
    document.SetObject();
    auto& allocator = document.GetAllocator();
    document.AddMember("name", rapidjson::Value(summary.name.c_str(), allocator), allocator);
    document.AddMember("count", summary.count, allocator);
    document.AddMember("active", summary.active, allocator);
    document.AddMember("ratio", summary.ratio, allocator);
    document.AddMember("color", rapidjson::StringRef(ColorName(summary.color)), allocator);
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    benchmark::DoNotOptimize(buffer.GetString());
  }
  state.SetItemsProcessed(state.iterations());
}

void HandwrittenPut(benchmark::State& state) {
  Summary summary;
  uint32_t limit = 0;
  bool verbose = false;
  for (auto _ : state) {
    rapidjson::Document document;
    document.Parse(kBody.c_str(), kBody.size());
    if (document.HasParseError() || !document.IsObject()) throw std::runtime_error("bad body");
    summary.name = document["name"].GetString();
    summary.count = document["count"].GetUint();
    summary.active = document["active"].GetBool();
    summary.ratio = document["ratio"].GetDouble();
    const char* color = document["color"].GetString();
    summary.color = std::strcmp(color, "Green") == 0  ? Color::Green
                    : std::strcmp(color, "Blue") == 0 ? Color::Blue
                                                      : Color::Red;
    const char* query = std::strchr(kPutPath, '?') + 1;
    limit = static_cast<uint32_t>(std::strtoul(query + std::strlen("limit="), nullptr, 10));
    verbose = std::strstr(query, "verbose=true") != nullptr;
    benchmark::DoNotOptimize(summary);
    benchmark::DoNotOptimize(limit);
    benchmark::DoNotOptimize(verbose);
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

void RegisterDispatch() {
  benchmark::RegisterBenchmark("Dispatch/ours/get-struct", OursGet);
  benchmark::RegisterBenchmark("Dispatch/peer-handwritten/get-struct", HandwrittenGet);
  benchmark::RegisterBenchmark("Dispatch/ours/put-json", OursPut);
  benchmark::RegisterBenchmark("Dispatch/peer-handwritten/put-json", HandwrittenPut);
}

}  // namespace Halden::bench
