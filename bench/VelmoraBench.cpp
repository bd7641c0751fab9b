// Velmora through its component interface, as a caller drives it: build, read back, save, load,
// cascading delete and clearing.
#include <stdint.h>

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/BenchSupport.h"
#include "bench/EmployeeData.h"

using namespace velmora;

namespace {

// Replaces the instance by a fresh one with the tables defined. Called with the clock stopped,
// so releasing the old records is not measured either.
HRESULT renew(ComponentInstance& instance, bool withDepartments) {
  instance.reset();
  instance = createInstance();
  const HRESULT result = defineTables(instance.get(), withDepartments);
  freshHeap();
  return result;
}

void reportRecords(benchmark::State& state, int64_t perIteration) {
  state.SetItemsProcessed(state.iterations() * perIteration);
}

// Build: per record choose the table, set the three fields by name, AddRecord -1.
void buildRecords(benchmark::State& state, bool withDepartments) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<Employee>& rows = employees(n);
  ComponentInstance instance;
  HRESULT failures = S_OK;
  for (auto _ : state) {
    state.PauseTiming();
    failures |= renew(instance, withDepartments);
    if (withDepartments) failures |= addDepartments(instance.get(), departmentCount(n));
    state.ResumeTiming();
    failures |= addEmployees(instance.get(), rows, withDepartments);
    benchmark::ClobberMemory();
  }
  instance.reset();
  if (failures != S_OK) state.SkipWithError("a call failed while building");
  reportRecords(state, n);
}

void BM_VelmoraBuild(benchmark::State& state) { buildRecords(state, false); }
BENCHMARK(BM_VelmoraBuild)->Apply(recordSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_VelmoraBuildRelation(benchmark::State& state) { buildRecords(state, true); }
BENCHMARK(BM_VelmoraBuildRelation)
    ->Apply(recordSizes)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Every value of every record, by table and field name.
void BM_VelmoraReadByName(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  IVelmoraDatabase* database = keptInstance(n);
  HRESULT failures = S_OK;
  int64_t checksum = 0;
  for (auto _ : state) {
    for (int32_t r = 0; r < n; ++r) {
      const char* name = nullptr;
      const char* surname = nullptr;
      int32_t age = 0;
      failures |= database->GetString("employee", r, "name", &name);
      failures |= database->GetString("employee", r, "surname", &surname);
      failures |= database->GetInt("employee", r, "age", &age);
      benchmark::DoNotOptimize(name);
      benchmark::DoNotOptimize(surname);
      checksum += age;
    }
  }
  benchmark::DoNotOptimize(checksum);
  if (failures != S_OK) state.SkipWithError("a read failed");
  reportRecords(state, n);
}
BENCHMARK(BM_VelmoraReadByName)->Apply(recordSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same values by table and field index.
void BM_VelmoraReadByIndex(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  IVelmoraDatabase* database = keptInstance(n);
  HRESULT failures = S_OK;
  int64_t checksum = 0;
  for (auto _ : state) {
    for (int32_t r = 0; r < n; ++r) {
      const char* name = nullptr;
      const char* surname = nullptr;
      int32_t age = 0;
      failures |= database->GetStringAt(0, r, 0, &name);
      failures |= database->GetStringAt(0, r, 1, &surname);
      failures |= database->GetIntAt(0, r, 2, &age);
      benchmark::DoNotOptimize(name);
      benchmark::DoNotOptimize(surname);
      checksum += age;
    }
  }
  benchmark::DoNotOptimize(checksum);
  if (failures != S_OK) state.SkipWithError("a read failed");
  reportRecords(state, n);
}
BENCHMARK(BM_VelmoraReadByIndex)->Apply(recordSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

// Save: renumbering, document and the durable replace of the file, all inside the one call.
void saveRecords(benchmark::State& state, bool withDepartments) {
  const int n = static_cast<int>(state.range(0));
  ComponentInstance instance = filledInstance(n, withDepartments);
  const std::string target = scratchFile("save-" + std::to_string(n) + ".xml");
  HRESULT failures = S_OK;
  settleDisk();
  for (auto _ : state) {
    uint8_t saved = 0;
    failures |= instance->Save(target.c_str(), &saved);
    benchmark::DoNotOptimize(saved);
  }
  if (failures != S_OK) state.SkipWithError("Save failed");
  reportRecords(state, n);
  state.counters["file_bytes"] = static_cast<double>(fileSize(target));
  instance.reset();
}

void BM_VelmoraSave(benchmark::State& state) { saveRecords(state, false); }
BENCHMARK(BM_VelmoraSave)->Apply(recordSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_VelmoraSaveRelation(benchmark::State& state) { saveRecords(state, true); }
BENCHMARK(BM_VelmoraSaveRelation)->Apply(recordSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

// Load: the saved file into a fresh instance that has the same definitions.
void loadRecords(benchmark::State& state, bool withDepartments) {
  const int n = static_cast<int>(state.range(0));
  const std::string& file = savedFile(n, withDepartments);
  ComponentInstance instance;
  HRESULT failures = S_OK;
  int32_t loadedCount = 0;
  for (auto _ : state) {
    state.PauseTiming();
    failures |= renew(instance, withDepartments);
    state.ResumeTiming();
    uint8_t loaded = 0;
    failures |= instance->Load(file.c_str(), &loaded);
    if (loaded != 1) failures |= E_FAIL;
    benchmark::DoNotOptimize(loaded);
  }
  failures |= instance->GetRecordCount("employee", &loadedCount);
  instance.reset();
  if (failures != S_OK || loadedCount != n) state.SkipWithError("Load failed");
  reportRecords(state, n);
  state.counters["file_bytes"] = static_cast<double>(fileSize(file));
}

void BM_VelmoraLoad(benchmark::State& state) { loadRecords(state, false); }
BENCHMARK(BM_VelmoraLoad)->Apply(recordSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_VelmoraLoadRelation(benchmark::State& state) { loadRecords(state, true); }
BENCHMARK(BM_VelmoraLoadRelation)->Apply(recordSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

// What a load holds and what it needs on the way: heap held per record once the records are
// in, and the peak resident size during the load over the resident size before it, per byte of
// the file.
void BM_VelmoraLoadMemory(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::string& file = savedFile(n, false);
  ComponentInstance instance;
  HRESULT failures = S_OK;
  size_t held = 0;
  size_t peak = 0;
  for (auto _ : state) {
    state.PauseTiming();
    failures |= renew(instance, false);
    resetPeakResident();
    const size_t before = heapInUse();
    const size_t resident = residentBytes();
    state.ResumeTiming();
    uint8_t loaded = 0;
    failures |= instance->Load(file.c_str(), &loaded);
    state.PauseTiming();
    held = heapInUse() - before;
    peak = peakResidentBytes() - resident;
    instance.reset();
    state.ResumeTiming();
  }
  if (failures != S_OK) state.SkipWithError("Load failed");
  state.SetItemsProcessed(state.iterations() * n);
  state.counters["heap_bytes_per_record"] = static_cast<double>(held) / n;
  state.counters["peak_rss_per_file_byte"] =
      static_cast<double>(peak) / static_cast<double>(fileSize(file));
  state.counters["file_bytes"] = static_cast<double>(fileSize(file));
}
BENCHMARK(BM_VelmoraLoadMemory)
    ->Apply(recordSizes)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Deleting one department deletes its k employees first (a cascade over the child list).
void BM_VelmoraCascadeDelete(benchmark::State& state) {
  const int k = static_cast<int>(state.range(0));
  const std::vector<Employee>& rows = employees(k);
  ComponentInstance instance;
  HRESULT failures = S_OK;
  int32_t remaining = 0;
  for (auto _ : state) {
    state.PauseTiming();
    failures |= renew(instance, true);
    IVelmoraDatabase* database = instance.get();
    int32_t record = 0;
    failures |= addDepartments(database, 2);
    for (const Employee& employee : rows) {
      failures |= database->ChooseTable("employee");
      failures |= database->SetString("name", employee.name.c_str());
      failures |= database->SetString("surname", employee.surname.c_str());
      failures |= database->SetInt("age", employee.age);
      failures |= database->SetRelation("department", 0);
      failures |= database->AddRecord(&record, -1);
    }
    state.ResumeTiming();
    failures |= database->DeleteRecord("department", 0);
    state.PauseTiming();
    // Every child is gone and the parent's list is empty.
    uint8_t lastExists = 1;
    failures |= database->GetChildCount("department", 0, "employee", &remaining);
    failures |= database->RecordExists("employee", k - 1, &lastExists);
    if (remaining != 0 || lastExists != 0) failures |= E_FAIL;
    state.ResumeTiming();
  }
  instance.reset();
  if (failures != S_OK) state.SkipWithError("the cascade failed");
  reportRecords(state, k);
}
BENCHMARK(BM_VelmoraCascadeDelete)
    ->Apply(cascadeSizes)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// ClearAllRecords on N records.
void BM_VelmoraClearAllRecords(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<Employee>& rows = employees(n);
  ComponentInstance instance;
  HRESULT failures = S_OK;
  for (auto _ : state) {
    state.PauseTiming();
    failures |= renew(instance, false);
    failures |= addEmployees(instance.get(), rows, false);
    state.ResumeTiming();
    failures |= instance->ClearAllRecords();
  }
  instance.reset();
  if (failures != S_OK) state.SkipWithError("ClearAllRecords failed");
  reportRecords(state, n);
}
BENCHMARK(BM_VelmoraClearAllRecords)
    ->Apply(recordSizes)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
