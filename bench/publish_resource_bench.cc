// PublishResource: the plugin announces a change of its resource, a
// five-member record sent as a resource event under both of its names,
// against a hand-written builder of the same host tree sent the same way.
#include <benchmark/benchmark.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "benchmarks.h"
#include "boundary/host_value.h"
#include "host/in_process_host.h"
#include "plugin/event_name.h"
#include "tests/support/sample_plugin.h"

namespace Halden::bench {
namespace {

using testing::Color;
using testing::Summary;

constexpr const char* kUri = "/bench/v1/summary";

const Summary kSummary{"summary of the day", 42, true, 0.5, Color::Blue};

void PublishByHand(testing::SamplePlugin& plugin, const std::string& uri, const Summary& summary);

// Both ways send the same events, as the host records them once; while
// measured, the host takes the events without looking at them.
struct Publisher {
  host::InProcessHost host;
  testing::SamplePlugin* plugin = nullptr;

  Publisher() {
    if (!host.Register(&testing::LoadSamplePlugin) || !host.Initialize()) {
      throw std::runtime_error("no sample plugin");
    }
    plugin = static_cast<testing::SamplePlugin*>(host.Registration().instance);
    plugin->PublishResource(kUri, kSummary);
    PublishByHand(*plugin, kUri, kSummary);
    const std::vector<host::SentEvent> sent = host.SentEvents();
    if (sent.size() != 4 || sent[0].payload != sent[2].payload || sent[1].name != sent[3].name) {
      throw std::runtime_error("the two ways send different events");
    }
    host.SetRecording(false);
  }
};

Publisher& SharedPublisher() {
  static Publisher* publisher = new Publisher();
  return *publisher;
}

void Ours(benchmark::State& state) {
  Publisher& publisher = SharedPublisher();
  for (auto _ : state) publisher.plugin->PublishResource(kUri, kSummary);
  state.SetItemsProcessed(state.iterations());
}

char* Copy(const char* text) {
  const std::size_t size = std::strlen(text) + 1;
  char* copy = new char[size];
  std::memcpy(copy, text, size);
  return copy;
}

HostValue Text(const char* text) {
  HostValue value{};
  value.kind = kHostStringOwned;
  value.text.data = Copy(text);
  value.text.length = static_cast<uint32_t>(std::strlen(text));
  return value;
}

HostMemberEntry Member(const char* key, HostValue value) { return {Copy(key), value, 1}; }

const char* ColorName(Color color) {
  return color == Color::Blue ? "Blue" : color == Color::Green ? "Green" : "Red";
}

// What a hand-written publisher would build: the members in key order, as
// the host expects them, every text an owned copy.
void PublishByHand(testing::SamplePlugin& plugin, const std::string& uri, const Summary& summary) {
  HostValue active{};
  active.kind = kHostBool;
  active.boolean = summary.active ? 1 : 0;
  HostValue count{};
  count.kind = kHostUnsigned;
  count.unsignedValue = summary.count;
  HostValue ratio{};
  ratio.kind = kHostFloat;
  ratio.floatValue = summary.ratio;
  auto* data = new HostMemberEntry[5]{
      Member("active", active), Member("color", Text(ColorName(summary.color))),
      Member("count", count), Member("name", Text(summary.name.c_str())), Member("ratio", ratio)};
  HostValue record{};
  record.kind = kHostStructure;
  record.structure = {data, 5};
  auto* members =
      new HostMemberEntry[3]{Member("data", record), Member("eventType", Text("Update")),
                             Member("uri", Text(uri.c_str()))};
  HostEvent event{};
  event.payload.kind = kHostStructure;
  event.payload.structure = {members, 3};
  const std::string specific = EventNameForUri(uri);
  event.name = specific.c_str();
  plugin.HostSendEvent(&event);
  event.name = "OnJsonApiEvent";
  plugin.HostSendEvent(&event);
  ReleaseHostValue(event.payload);
}

void Handwritten(benchmark::State& state) {
  Publisher& publisher = SharedPublisher();
  const std::string uri = kUri;
  for (auto _ : state) PublishByHand(*publisher.plugin, uri, kSummary);
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

void RegisterPublishResource() {
  benchmark::RegisterBenchmark("PublishResource/ours/summary", Ours);
  benchmark::RegisterBenchmark("PublishResource/peer-handwritten/summary", Handwritten);
}

}  // namespace Halden::bench
