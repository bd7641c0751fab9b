// The engine's scaling corners, driven directly: many tables, wide tables, long child lists
// emptied in any order, many child tables of one parent and records replaced in place. Each
// runs at two sizes ten times apart; linear work shows a time ratio near 10.
#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/Database.h"
#include "engine/RecordRenumbering.h"

using namespace velmora;

namespace {

std::unique_ptr<Table> plainTable(int fields) {
  auto definition = std::make_unique<TableDefinition>();
  for (int f = 0; f < fields; ++f) definition->addField("field" + std::to_string(f), 0);
  return std::make_unique<Table>(std::move(definition));
}

std::unique_ptr<Table> childTable(const std::string& parent) {
  auto definition = std::make_unique<TableDefinition>();
  definition->addField("value", 0);
  definition->addRelationField("parent", parent);
  return std::make_unique<Table>(std::move(definition));
}

void addChild(Table& table, int parent) {
  table.createTemporaryRecord();
  table.setRelation(1, parent);
  table.addRecord(-1);
}

// One parent record with n child records, all linked to it.
std::unique_ptr<Database> parentWithChildren(int n) {
  auto database = std::make_unique<Database>("scale", 1);
  database->addTable("parent", plainTable(1));
  database->addTable("child", childTable("parent"));
  Table& parent = database->tableByIndex(0);
  parent.createTemporaryRecord();
  parent.addRecord(-1);
  Table& child = database->tableByIndex(1);
  for (int r = 0; r < n; ++r) addChild(child, 0);
  return database;
}

void BM_EngineCreateTables(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    auto database = std::make_unique<Database>("scale", 1);
    std::vector<std::string> names;
    for (int t = 0; t < n; ++t) names.push_back("table" + std::to_string(t));
    state.ResumeTiming();
    for (int t = 0; t < n; ++t) database->addTable(names[t], plainTable(3));
    state.PauseTiming();
    database.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_EngineCreateTables)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_EngineCreateFields(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    auto database = std::make_unique<Database>("scale", 1);
    database->addTable("wide", plainTable(n));
    benchmark::DoNotOptimize(database->tableByIndex(0).getDefinition().getFieldCount());
    state.PauseTiming();
    database.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_EngineCreateFields)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// A table of n Relation fields, half of them naming one parent table and half another, created
// and given ten records: resolving, registering and linking that many fields.
void BM_EngineCreateRelationFields(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    auto database = std::make_unique<Database>("scale", 1);
    for (const char* parent : {"left", "right"}) {
      database->addTable(parent, plainTable(1));
      database->tableByName(parent).createTemporaryRecord();
      database->tableByName(parent).addRecord(-1);
    }
    auto definition = std::make_unique<TableDefinition>();
    for (int f = 0; f < n; ++f) {
      definition->addRelationField("link" + std::to_string(f), f % 2 == 0 ? "left" : "right");
    }
    Table& wide = database->tableByIndex(
        database->addTable("wide", std::make_unique<Table>(std::move(definition))));
    for (int r = 0; r < 10; ++r) {
      wide.createTemporaryRecord();
      wide.addRecord(-1);
    }
    benchmark::DoNotOptimize(database->tableByName("left").getChildCount(0, 2));
    state.PauseTiming();
    database.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_EngineCreateRelationFields)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Deletes every child of one parent, in the order the second argument names: 0 oldest first,
// 1 newest first, 2 shuffled.
void BM_EngineDeleteChildren(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<int> order(static_cast<size_t>(n));
  for (int r = 0; r < n; ++r) order[r] = r;
  if (state.range(1) == 1) std::reverse(order.begin(), order.end());
  if (state.range(1) == 2) std::shuffle(order.begin(), order.end(), std::mt19937(10));
  for (auto _ : state) {
    state.PauseTiming();
    auto database = parentWithChildren(n);
    Table& child = database->tableByIndex(1);
    state.ResumeTiming();
    for (const int r : order) child.deleteRecord(r);
    benchmark::DoNotOptimize(database->tableByIndex(0).getChildCount(0, 1));
    state.PauseTiming();
    database.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_EngineDeleteChildren)
    ->ArgsProduct({{10000, 100000, 1000000}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);

// Replaces every child record in place, each time linking it to the parent again: one unlink
// from the middle of the long list and one append per record.
void BM_EngineReplaceChildren(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    auto database = parentWithChildren(n);
    Table& child = database->tableByIndex(1);
    state.ResumeTiming();
    for (int r = 0; r < n; ++r) {
      child.createTemporaryRecord();
      child.setRelation(1, 0);
      child.addRecord(r);
    }
    state.PauseTiming();
    database.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_EngineReplaceChildren)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// n child tables of one parent, each with one record linked to it.
void BM_EngineManyChildTables(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    auto database = std::make_unique<Database>("scale", 1);
    database->addTable("parent", plainTable(1));
    Table& parent = database->tableByIndex(0);
    parent.createTemporaryRecord();
    parent.addRecord(-1);
    std::vector<std::string> names;
    for (int t = 0; t < n; ++t) names.push_back("child" + std::to_string(t));
    state.ResumeTiming();
    for (int t = 0; t < n; ++t) {
      const int slot = database->addTable(names[t], childTable("parent"));
      addChild(database->tableByIndex(slot), 0);
    }
    state.PauseTiming();
    database.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_EngineManyChildTables)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Deletes every other record of a large table, then clears and refills it.
void BM_EngineDeletedSlotsRefill(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    auto database = parentWithChildren(n);
    Table& child = database->tableByIndex(1);
    state.ResumeTiming();
    for (int r = 0; r < n; r += 2) child.deleteRecord(r);
    benchmark::DoNotOptimize(RecordRenumbering(*database).getMapCount());
    database->clearAllRecords();
    database->tableByIndex(0).createTemporaryRecord();
    database->tableByIndex(0).addRecord(-1);
    for (int r = 0; r < n; ++r) addChild(child, 0);
    state.PauseTiming();
    database.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_EngineDeletedSlotsRefill)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
