// Database: the named set of table slots with its table-name index.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/NameIndex.h"
#include "engine/OwnedArray.h"
#include "engine/Table.h"

namespace velmora {

// Owns its tables and their names. Table slots are never
// reused: deleting a table empties its slot and keeps its name in the index. Not thread-safe.
class Database {
 public:
  // The flag is set to 1 whatever the argument.
  Database(const std::string& databaseName, int databaseFlag);
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Renames the database and stores the flag; tables and records stay.
  void createDatabase(std::string_view databaseName, int databaseFlag);
  const std::string& getName() const { return name; }
  int getFlag() const { return flag; }

  // Every table loses its records; tables, definitions and temporary records stay.
  void clearAllRecords();

  bool tableExists(int table) const { return tables.exists(table); }
  int tableIndex(std::string_view tableName) const { return tableNames.indexOf(tableName); }
  // Code 2 without a name; also answers for a deleted table's slot.
  const std::string& tableName(int table) const { return tableNames.nameOf(table); }
  // Code 14 outside the slots or for an emptied slot.
  Table& tableByIndex(int table) const;
  // Code 1 for an unknown name, then as tableByIndex.
  Table& tableByName(std::string_view tableName) const {
    return tableByIndex(tableIndex(tableName));
  }
  // Destroys the table and empties its slot; code 14 outside the slots or for an emptied slot.
  void deleteTable(int table);
  int getTableCount() const { return tables.getCount(); }
  // Changes whenever a table is added or deleted, so what a name resolved to may have changed;
  // never 0.
  unsigned long long getTableGeneration() const { return tableGeneration; }

  // Stores the table at the end, names it and registers it as a child of every table its
  // relation fields name. Returns the new index. Code 1 (unknown target), 14 (target deleted)
  // leave the table stored with the registrations made before the failure.
  int addTable(std::string_view tableName, std::unique_ptr<Table> table);

 private:
  std::string name;
  int flag;
  OwnedArray<Table> tables;
  NameIndex tableNames;
  unsigned long long tableGeneration = 1;
};

}  // namespace velmora
