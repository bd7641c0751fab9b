// Finding a record by value through the component interface: FindInt scans inside the component,
// against the caller reading the field of every record by index to find the same one.
#include <stdint.h>

#include <benchmark/benchmark.h>

#include "velmora/IVelmoraDatabase2.h"
#include "velmora/Identifiers.h"

#include "bench/BenchSupport.h"
#include "bench/EmployeeData.h"

using namespace velmora;

namespace {

// No employee has this age, so both ways look at every record.
constexpr int32_t kAbsentAge = -1;

void BM_VelmoraFindInt(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  IVelmoraDatabase* database = keptInstance(n);
  void* out = nullptr;
  if (database->QueryInterface(IID_IVelmoraDatabase2, &out) != S_OK) {
    state.SkipWithError("no second interface");
    return;
  }
  auto* second = static_cast<IVelmoraDatabase2*>(out);
  HRESULT failures = S_OK;
  for (auto _ : state) {
    int32_t found = 0;
    failures |= second->FindInt("employee", "age", kAbsentAge, 0, &found);
    benchmark::DoNotOptimize(found);
  }
  second->Release();
  if (failures != S_OK) state.SkipWithError("FindInt failed");
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_VelmoraFindInt)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The caller's way without FindInt: every record's field by index, compared by the caller.
void BM_VelmoraFindByReadingEachRecord(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  IVelmoraDatabase* database = keptInstance(n);
  HRESULT failures = S_OK;
  for (auto _ : state) {
    int32_t found = -1;
    for (int32_t r = 0; r < n && found < 0; ++r) {
      int32_t age = 0;
      failures |= database->GetIntAt(0, r, 2, &age);
      if (age == kAbsentAge) found = r;
    }
    benchmark::DoNotOptimize(found);
  }
  if (failures != S_OK) state.SkipWithError("a read failed");
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_VelmoraFindByReadingEachRecord)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
