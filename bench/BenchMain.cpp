// The benchmark program: Google Benchmark's own command line, plus the context a reader of the
// results needs (sizes, where the files go, which library was measured).
#include <stdlib.h>

#include <string>

#include <benchmark/benchmark.h>

#include "bench/BenchSupport.h"

using namespace velmora;

namespace {

std::string environmentOr(const char* variable, const char* fallback) {
  const char* value = getenv(variable);
  return value != nullptr && *value != '\0' ? value : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::AddCustomContext("velmora_library",
                              environmentOr("VELMORA_BENCH_LIBRARY", VELMORA_SERVER_LIBRARY));
  benchmark::AddCustomContext("record_sizes",
                              environmentOr("VELMORA_BENCH_SIZES", "200000,1000000"));
  benchmark::AddCustomContext("cascade_sizes",
                              environmentOr("VELMORA_BENCH_CASCADE", "1000,10000,100000"));
  benchmark::AddCustomContext("scratch_file", scratchFile("<name>"));
  benchmark::AddCustomContext("heap_regime", warmHeap() ? "warm" : "cold");
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
