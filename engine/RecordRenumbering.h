// RecordRenumbering: maps record slots to their compacted positions for saving.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/IntArray.h"
#include "engine/OwnedArray.h"

namespace velmora {

class Database;

// One map per table slot: an occupied record slot maps to its position among the occupied
// slots, an empty one to the value of the nearest occupied slot before it (or -1). An empty
// table slot gets an empty map (table index -1). Not thread-safe.
class RecordRenumbering {
 public:
  struct TableMap {
    explicit TableMap(int table) : tableIndex(table), newIndex(1) {}
    int tableIndex;
    IntArray newIndex;
  };

  // Builds the maps for every table slot of the database.
  explicit RecordRenumbering(const Database& database);

  // Codes in order: 1 (unknown table name), 14 (no map for the table), 14 (record outside the
  // map).
  int renumber(std::string_view tableName, int record) const;
  const TableMap& mapOf(int table) const { return *maps.at(table); }
  int getMapCount() const { return maps.getCount(); }

 private:
  const Database& database;
  OwnedArray<TableMap> maps;
};

}  // namespace velmora
