// EventDelivery: the host delivers a resource event (uri, event type and a
// five-member record as data) to a typed observer, against the same HostValue
// tree read into the record by hand-written code.
#include <benchmark/benchmark.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "benchmarks.h"
#include "binding/host_value_conversion.h"
#include "host/in_process_host.h"
#include "plugin/event_name.h"
#include "tests/support/sample_plugin.h"

namespace Halden::bench {
namespace {

using testing::Color;
using testing::Summary;

constexpr const char* kUri = "/bench/v1/summary";

struct Delivery {
  host::InProcessHost host;
  HostEvent event{};
  HostEventCallback callback = nullptr;
  std::string name = EventNameForUri(kUri);
  Summary received;

  Delivery() {
    if (!host.Register(&testing::LoadSamplePlugin) || !host.Initialize()) {
      throw std::runtime_error("no sample plugin");
    }
    auto* plugin = static_cast<testing::SamplePlugin*>(host.Registration().instance);
    plugin->ObserveResource<Summary>(
        kUri, [this](const ResourceEvent<Summary>& change) { received = change.data; });
    for (const host::HostSubscription& subscription : host.Subscriptions()) {
      if (subscription.name == name) {
        callback = subscription.callback;
        event.userData = subscription.userData;
      }
    }
    if (callback == nullptr) throw std::runtime_error("no subscription");
    BindingProperty payload;
    payload.Member("uri").SetString(kUri);
    payload.Member("eventType").SetString("Update");
    BindingProperty& data = payload.Member("data");
    data.Member("name").SetString("summary of the day");
    data.Member("count").SetUnsigned(42);
    data.Member("active").SetBool(true);
    data.Member("ratio").SetFloat(0.5);
    data.Member("color").SetString("Blue");
    PropertyToHostValue(payload, event.payload, nullptr);
    event.name = name.c_str();
  }
};

Delivery& SharedDelivery() {
  static Delivery* delivery = new Delivery();
  return *delivery;
}

void Ours(benchmark::State& state) {
  Delivery& delivery = SharedDelivery();
  for (auto _ : state) {
    delivery.callback(&delivery.event);
    benchmark::DoNotOptimize(delivery.received);
  }
  if (delivery.received.count != 42) state.SkipWithError("the event was not delivered");
  state.SetItemsProcessed(state.iterations());
}

bool KeyIs(const HostMemberEntry& entry, const char* key) {
  return entry.key != nullptr && std::strcmp(entry.key, key) == 0;
}

std::string TextOf(const HostValue& value) {
  if ((value.kind != kHostStringBorrowed && value.kind != kHostStringOwned) ||
      value.text.data == nullptr) {
    return {};
  }
  return value.text.data;
}

// What a hand-written observer would do with the same tree.
void ReadByHand(const HostEvent& event, std::string& uri, Summary& summary) {
  const HostValue& root = event.payload;
  if (root.kind != kHostStructure) return;
  for (uint32_t i = 0; i < root.structure.count; ++i) {
    const HostMemberEntry& member = root.structure.entries[i];
    if (KeyIs(member, "uri")) {
      uri = TextOf(member.value);
    } else if (KeyIs(member, "data") && member.value.kind == kHostStructure) {
      for (uint32_t f = 0; f < member.value.structure.count; ++f) {
        const HostMemberEntry& field = member.value.structure.entries[f];
        if (KeyIs(field, "name")) {
          summary.name = TextOf(field.value);
        } else if (KeyIs(field, "count") && field.value.kind == kHostUnsigned) {
          summary.count = static_cast<uint32_t>(field.value.unsignedValue);
        } else if (KeyIs(field, "active") && field.value.kind == kHostBool) {
          summary.active = field.value.boolean != 0;
        } else if (KeyIs(field, "ratio") && field.value.kind == kHostFloat) {
          summary.ratio = field.value.floatValue;
        } else if (KeyIs(field, "color")) {
          const std::string color = TextOf(field.value);
          summary.color = color == "Blue"    ? Color::Blue
                          : color == "Green" ? Color::Green
                                             : Color::Red;
        }
      }
    }
  }
}

void Handwritten(benchmark::State& state) {
  Delivery& delivery = SharedDelivery();
  std::string uri;
  Summary summary;
  for (auto _ : state) {
    ReadByHand(delivery.event, uri, summary);
    benchmark::DoNotOptimize(summary);
  }
  if (summary.count != 42) state.SkipWithError("the tree was not read");
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

void RegisterEventDelivery() {
  benchmark::RegisterBenchmark("EventDelivery/ours/typed-observer", Ours);
  benchmark::RegisterBenchmark("EventDelivery/peer-handwritten/typed-observer", Handwritten);
}

}  // namespace Halden::bench
