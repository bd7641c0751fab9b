// SQLite in memory on the same rows: prepared INSERT in one transaction, SELECT by rowid, and the
// database serialized to a file.
#include <sqlite3.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/BenchSupport.h"
#include "bench/EmployeeData.h"
#include "bench/SqliteEmployees.h"

using namespace velmora;

namespace {

void BM_SqliteInsert(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<Employee>& rows = employees(n);
  std::unique_ptr<SqliteEmployees> database;
  bool ok = true;
  for (auto _ : state) {
    state.PauseTiming();
    database.reset();
    database = std::make_unique<SqliteEmployees>();
    freshHeap();
    state.ResumeTiming();
    ok = database->insert(rows) && ok;
  }
  database.reset();
  if (!ok) state.SkipWithError("an insert failed");
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_SqliteInsert)->Apply(recordSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

// The database of the last size asked for, filled once and kept.
SqliteEmployees& filledDatabase(int n) {
  static std::unique_ptr<SqliteEmployees> database;
  static int filled = -1;
  if (filled != n) {
    database.reset();
    database = std::make_unique<SqliteEmployees>();
    if (!database->insert(employees(n))) {
      fprintf(stderr, "velmora_bench: filling the SQLite table failed\n");
      exit(2);
    }
    filled = n;
  }
  return *database;
}

// Every row by rowid through one prepared SELECT, all three columns read.
void BM_SqliteSelectByRowid(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  sqlite3* connection = filledDatabase(n).get();
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(connection, "SELECT name, surname, age FROM employee WHERE rowid = ?1", -1,
                         &statement, nullptr) != SQLITE_OK) {
    state.SkipWithError("prepare failed");
    return;
  }
  bool ok = true;
  int64_t checksum = 0;
  for (auto _ : state) {
    for (int64_t r = 1; r <= n; ++r) {
      sqlite3_bind_int64(statement, 1, r);
      ok = sqlite3_step(statement) == SQLITE_ROW && ok;
      const unsigned char* name = sqlite3_column_text(statement, 0);
      const unsigned char* surname = sqlite3_column_text(statement, 1);
      benchmark::DoNotOptimize(name);
      benchmark::DoNotOptimize(surname);
      checksum += sqlite3_column_int(statement, 2);
      sqlite3_reset(statement);
    }
  }
  sqlite3_finalize(statement);
  benchmark::DoNotOptimize(checksum);
  if (!ok) state.SkipWithError("a select failed");
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_SqliteSelectByRowid)->Apply(recordSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole database serialized and written durably (temporary file, fsync, rename), as
// Velmora's Save writes.
void BM_SqliteSerialize(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  sqlite3* connection = filledDatabase(n).get();
  const std::string target = scratchFile("sqlite-" + std::to_string(n) + ".db");
  bool ok = true;
  settleDisk();
  for (auto _ : state) {
    sqlite3_int64 size = 0;
    unsigned char* bytes = sqlite3_serialize(connection, "main", &size, 0);
    ok =
        bytes != nullptr &&
        writeFile(target,
                  std::string_view(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size)),
                  true) &&
        ok;
    sqlite3_free(bytes);
  }
  if (!ok) state.SkipWithError("serializing failed");
  state.SetItemsProcessed(state.iterations() * n);
  state.counters["file_bytes"] = static_cast<double>(fileSize(target));
}
BENCHMARK(BM_SqliteSerialize)->Apply(recordSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

// Heap held per row once the rows are in (what SQLite allocates through malloc).
void BM_SqliteInsertMemory(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<Employee>& rows = employees(n);
  bool ok = true;
  size_t held = 0;
  for (auto _ : state) {
    state.PauseTiming();
    resetPeakResident();
    const size_t before = heapInUse();
    auto database = std::make_unique<SqliteEmployees>();
    state.ResumeTiming();
    ok = database->insert(rows) && ok;
    state.PauseTiming();
    held = heapInUse() - before;
    database.reset();
    state.ResumeTiming();
  }
  if (!ok) state.SkipWithError("an insert failed");
  state.SetItemsProcessed(state.iterations() * n);
  state.counters["heap_bytes_per_record"] = static_cast<double>(held) / n;
}
BENCHMARK(BM_SqliteInsertMemory)
    ->Apply(recordSizes)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
