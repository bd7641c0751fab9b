// pugixml on the file Velmora saves: parse, parse and walk into structs (and on into SQLite), and
// a document built from the structs and saved raw.
#include <stdint.h>
#include <stdlib.h>

#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/BenchSupport.h"
#include "bench/EmployeeData.h"
#if VELMORA_BENCH_SQLITE
#include "bench/SqliteEmployees.h"
#endif

using namespace velmora;

namespace {

constexpr const char kCreatedComment[] = "this is a database created with velmora";
constexpr const char kDownloadComment[] =
    "you can download this program from https://velmora.example.org/download";

bool parse(pugi::xml_document& document, const std::string& file) {
  return static_cast<bool>(document.load_file(file.c_str()));
}

// The records of the document's employee table, field by field as a reader of this format
// would take them.
void walk(const pugi::xml_document& document, std::vector<Employee>& out) {
  const pugi::xml_node table = document.child("database").child("data").child("employee");
  for (const pugi::xml_node record : table.children("record")) {
    Employee employee;
    employee.name = record.child_value("name");
    employee.surname = record.child_value("surname");
    employee.age = atoi(record.child_value("age"));
    employee.department = 0;
    out.push_back(std::move(employee));
  }
}

void BM_PugixmlParse(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::string& file = savedFile(n, false);
  std::unique_ptr<pugi::xml_document> document;
  bool ok = true;
  for (auto _ : state) {
    state.PauseTiming();
    document = std::make_unique<pugi::xml_document>();
    freshHeap();
    state.ResumeTiming();
    ok = parse(*document, file) && ok;
    state.PauseTiming();
    document.reset();
    state.ResumeTiming();
  }
  if (!ok) state.SkipWithError("parse failed");
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_PugixmlParse)->Apply(recordSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PugixmlParseWalk(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::string& file = savedFile(n, false);
  std::unique_ptr<pugi::xml_document> document;
  std::vector<Employee> rows;
  bool ok = true;
  for (auto _ : state) {
    state.PauseTiming();
    document = std::make_unique<pugi::xml_document>();
    std::vector<Employee>().swap(rows);
    freshHeap();
    state.ResumeTiming();
    ok = parse(*document, file) && ok;
    walk(*document, rows);
    state.PauseTiming();
    document.reset();
    state.ResumeTiming();
  }
  if (!ok || static_cast<int>(rows.size()) != n || rows.back().name != employees(n).back().name) {
    state.SkipWithError("parse or walk failed");
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_PugixmlParseWalk)->Apply(recordSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

#if VELMORA_BENCH_SQLITE
// What a caller pairing the two peers would do to get the file into a database.
void BM_PugixmlParseWalkSqliteInsert(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::string& file = savedFile(n, false);
  std::unique_ptr<pugi::xml_document> document;
  std::unique_ptr<SqliteEmployees> database;
  std::vector<Employee> rows;
  bool ok = true;
  for (auto _ : state) {
    state.PauseTiming();
    document = std::make_unique<pugi::xml_document>();
    database.reset();
    database = std::make_unique<SqliteEmployees>();
    std::vector<Employee>().swap(rows);
    freshHeap();
    state.ResumeTiming();
    ok = parse(*document, file) && ok;
    walk(*document, rows);
    ok = database->insert(rows) && ok;
    state.PauseTiming();
    document.reset();
    state.ResumeTiming();
  }
  database.reset();
  if (!ok || static_cast<int>(rows.size()) != n)
    state.SkipWithError("parse, walk or insert failed");
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_PugixmlParseWalkSqliteInsert)
    ->Apply(recordSizes)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif

// The document of the same shape and bytes as Velmora's file, built from the structs.
void build(pugi::xml_document& document, const std::vector<Employee>& rows) {
  document.append_child(pugi::node_comment).set_value(kCreatedComment);
  document.append_child(pugi::node_comment).set_value(kDownloadComment);
  pugi::xml_node database = document.append_child("database");
  pugi::xml_node information = database.append_child("info");
  information.append_child("name").text().set("employees");
  information.append_child("version").text().set("1");
  pugi::xml_node table = database.append_child("data").append_child("employee");
  for (const Employee& employee : rows) {
    pugi::xml_node record = table.append_child("record");
    record.append_child("name").text().set(employee.name.c_str());
    record.append_child("surname").text().set(employee.surname.c_str());
    record.append_child("age").text().set(employee.age);
  }
}

void BM_PugixmlBuildSave(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<Employee>& rows = employees(n);
  const std::string target = scratchFile("pugixml-" + std::to_string(n) + ".xml");
  std::unique_ptr<pugi::xml_document> document;
  bool ok = true;
  settleDisk();
  for (auto _ : state) {
    state.PauseTiming();
    document = std::make_unique<pugi::xml_document>();
    freshHeap();
    state.ResumeTiming();
    build(*document, rows);
    ok = document->save_file(target.c_str(), "", pugi::format_raw | pugi::format_no_declaration) &&
         ok;
    state.PauseTiming();
    document.reset();
    state.ResumeTiming();
  }
  // The same bytes as Velmora writes, or the comparison means nothing.
  if (!ok || readFile(target) != readFile(savedFile(n, false))) {
    state.SkipWithError("save failed or its bytes differ from Velmora's file");
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_PugixmlBuildSave)->Apply(recordSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

// Heap held per record by a parsed document, and the peak resident size of the parse.
void BM_PugixmlParseMemory(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::string& file = savedFile(n, false);
  bool ok = true;
  size_t held = 0;
  size_t peak = 0;
  for (auto _ : state) {
    state.PauseTiming();
    resetPeakResident();
    const size_t before = heapInUse();
    const size_t resident = residentBytes();
    auto document = std::make_unique<pugi::xml_document>();
    state.ResumeTiming();
    ok = parse(*document, file) && ok;
    state.PauseTiming();
    held = heapInUse() - before;
    peak = peakResidentBytes() - resident;
    document.reset();
    state.ResumeTiming();
  }
  if (!ok) state.SkipWithError("parse failed");
  state.SetItemsProcessed(state.iterations() * n);
  state.counters["heap_bytes_per_record"] = static_cast<double>(held) / n;
  state.counters["peak_rss_per_file_byte"] =
      static_cast<double>(peak) / static_cast<double>(fileSize(file));
}
BENCHMARK(BM_PugixmlParseMemory)
    ->Apply(recordSizes)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
