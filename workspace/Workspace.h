// Workspace: the state behind one component instance and the operations its interface forwards.
#pragma once

#include <memory>
#include <string>

#include "engine/Database.h"
#include "engine/TableDefinition.h"

// Holds the database by value, the table definition under construction (the temporary table)
// and the current table chosen for building records. Adds two checks of its own: code 3 (no
// temporary table) and code 4 (no current table), each made before any engine check; every
// other failure comes from the engine unchanged. Returned texts are the engine's stored texts
// and stay valid until the database changes what they were read from. Not thread-safe.
class Workspace {
 public:
  Workspace();  // database "velmora", flag 1, no temporary or current table
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  // Database-wide operations.
  void createDatabase(const std::string& name, int flag);
  void clearAllRecords();
  bool tableExists(int table) const;
  int getTableIndex(const std::string& table) const;
  const std::string& getTableName(int table) const;
  // Clears the current table when it is the one deleted.
  void deleteTable(int table);
  int getTableCount() const;
  bool save(const std::string& fileName);
  bool load(const std::string& fileName);

  // Defining a table.
  void createTemporaryTable();
  int addField(const std::string& name, int type);
  int addRelationField(const std::string& name, const std::string& targetTable);
  int createTable(const std::string& name);

  // Building a record in the current table.
  void chooseTable(const std::string& table);
  void chooseTableAt(int table);
  void setString(const std::string& field, const std::string& value);
  void setInt(const std::string& field, int value);
  void setLong(const std::string& field, int value);
  void setRelation(const std::string& field, int value);
  void setStringAt(int field, const std::string& value);
  void setIntAt(int field, int value);
  void setLongAt(int field, int value);
  void setRelationAt(int field, int value);
  int addRecord(int position);

  // Reading and changing a table, by name or by index (At).
  bool recordExists(const std::string& table, int record) const;
  bool recordExistsAt(int table, int record) const;
  int getRecordCount(const std::string& table) const;
  int getRecordCountAt(int table) const;
  void deleteRecord(const std::string& table, int record);
  void deleteRecordAt(int table, int record);
  int getFieldType(const std::string& table, const std::string& field) const;
  int getFieldTypeAt(int table, const std::string& field) const;
  const std::string& getRelationTarget(const std::string& table, int field) const;
  const std::string& getRelationTargetAt(int table, int field) const;
  int getFieldIndex(const std::string& table, const std::string& field) const;
  int getFieldIndexAt(int table, const std::string& field) const;
  const std::string& getFieldName(const std::string& table, int field) const;
  const std::string& getFieldNameAt(int table, int field) const;
  int getFieldCount(const std::string& table) const;
  int getFieldCountAt(int table) const;
  int getInt(const std::string& table, int record, const std::string& field) const;
  int getIntAt(int table, int record, int field) const;
  int getLong(const std::string& table, int record, const std::string& field) const;
  int getLongAt(int table, int record, int field) const;
  const std::string& getString(const std::string& table, int record,
                               const std::string& field) const;
  const std::string& getStringAt(int table, int record, int field) const;
  int getRelation(const std::string& table, int record, const std::string& field) const;
  int getRelationAt(int table, int record, int field) const;
  int getChildCount(const std::string& table, int record, const std::string& childTable) const;
  int getChildCountAt(int table, int record, int childTable) const;
  int getChild(const std::string& table, int record, const std::string& childTable,
               int position) const;
  int getChildAt(int table, int record, int childTable, int position) const;

  const Database& getDatabase() const { return database; }
  Database& getDatabase() { return database; }

 private:
  Table& current();  // code 4 without a current table

  Database database;
  std::unique_ptr<TableDefinition> temporaryTable;
  Table* currentTable = nullptr;
};
