// The floor: the same structs appended to a std::vector, nothing else.
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/BenchSupport.h"
#include "bench/EmployeeData.h"

using namespace velmora;

namespace {

void BM_VectorAppend(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<Employee>& rows = employees(n);
  std::vector<Employee> copy;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<Employee>().swap(copy);
    freshHeap();
    state.ResumeTiming();
    for (const Employee& employee : rows) copy.push_back(employee);
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_VectorAppend)->Apply(recordSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
