#include <benchmark/benchmark.h>

#include <cstdio>
#include <exception>

#include "benchmarks.h"

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  try {
    Halden::bench::RegisterTreeBuildDestroy();
    Halden::bench::RegisterSmallTreeBuildDestroy();
    Halden::bench::RegisterStructRoundTrip();
    Halden::bench::RegisterJsonRead();
    Halden::bench::RegisterJsonWrite();
    Halden::bench::RegisterMsgpackRead();
    Halden::bench::RegisterYamlRead();
    Halden::bench::RegisterDispatch();
    Halden::bench::RegisterEmailResource();
    Halden::bench::RegisterEventDelivery();
    Halden::bench::RegisterPublishResource();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zvm_bench: %s\n", e.what());
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
