// What the trees' memory keeps at rest: after reads of citm_catalog (the
// kept page regions follow that peak), after a long stretch of small trees
// (they fall back), and after the release the library makes when it is
// unloaded (nothing is kept). Prints one line per moment:
//   zvm-memory-at-rest
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

#include "bench_data.h"
#include "binding/arena_page_source.h"
#include "binding/message_pack_reader.h"
#include "binding/property_arena.h"
#include "formats/json_to_property.h"

namespace {

using Halden::ArenaPageSource;

// Resident memory of the process, from /proc/self/statm, in KiB.
long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return resident * 4;
}

void Report(const char* moment) {
  const ArenaPageSource::Counters counters = ArenaPageSource::Instance().GetCounters();
  const uint64_t regionKiB = ArenaPageSource::kRegionSize / 1024;
  std::printf("%-44s regions live %4llu, kept %4llu (%5llu KiB kept), resident %6ld KiB\n", moment,
              static_cast<unsigned long long>(counters.regionsLive),
              static_cast<unsigned long long>(counters.regionsKept),
              static_cast<unsigned long long>(counters.regionsKept * regionKiB), ResidentKiB());
}

}  // namespace

int main() {
  try {
    const std::string json = Halden::bench::ReadBenchFile("citm_catalog.json");
    const std::string packed = Halden::bench::ReadBenchFile("citm_catalog.msgpack");
    Report("start");
    for (int i = 0; i < 20; ++i) Halden::JsonToProperty(json.c_str());
    Report("after 20 JSON reads of citm_catalog");
    for (int i = 0; i < 20; ++i) {
      uint32_t position = 0;
      Halden::ReadMessagePack(reinterpret_cast<const uint8_t*>(packed.data()),
                              static_cast<uint32_t>(packed.size()), position);
    }
    Report("after 20 MessagePack reads of citm_catalog");
    // Requests of a few members each, as the feature's calls make them.
    for (uint32_t round = 1; round <= 8; ++round) {
      for (uint32_t i = 0; i < ArenaPageSource::kTreesPerDecay; ++i) {
        Halden::BindingProperty small;
        small.Member("email").SetString("someone@example.com");
        small.Member("emailVerified").SetBool(true);
      }
      const std::string moment = "after " + std::to_string(round) + " x 4096 small trees";
      Report(moment.c_str());
    }
    Halden::PropertyArena::ReleaseKeptMemory();
    Report("after the release at unload");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zvm-memory-at-rest: %s\n", e.what());
    return 1;
  }
  return 0;
}
