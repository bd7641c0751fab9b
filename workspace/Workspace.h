// Workspace: the state behind one component instance and the operations its interface forwards.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/Database.h"
#include "engine/TableDefinition.h"
#include "xml/FileEnv.h"

namespace velmora {

// Holds the database, the table definition under construction (the temporary table)
// and the current table chosen for building records. Adds two checks of its own: code 3 (no
// temporary table) and code 4 (no current table), each made before any engine check; every
// other failure comes from the engine unchanged. Returned texts are the engine's stored texts
// and stay valid until the database changes what they were read from. Saves and loads go through
// a file environment, the real one unless another is set. Not thread-safe.
class Workspace {
 public:
  Workspace();  // database "velmora", flag 1, no temporary or current table
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  // Database-wide operations.
  void createDatabase(std::string_view name, int flag);
  void clearAllRecords();
  bool tableExists(int table) const;
  int getTableIndex(std::string_view table) const;
  const std::string& getTableName(int table) const;
  // Clears the current table when it is the one deleted.
  void deleteTable(int table);
  int getTableCount() const;
  // The codes of saveDatabase, loadDatabase and saveDatabaseWithSchema (xml/Persistence.h);
  // a failure's detail is kept for takeFailureDetail.
  bool save(const std::string& fileName);
  bool load(const std::string& fileName);
  bool saveWithSchema(const std::string& fileName);
  // Replaces the whole database (name, tables, records) by a file saveWithSchema wrote, and drops
  // the temporary and current table; all or nothing: on false or any failure nothing changes.
  // The codes of openDatabase (15 for a file without the definitions).
  bool open(const std::string& fileName);
  // What the last failed save, load or open said for a person ("" when it said nothing); taking
  // it empties it, so it never outlives the failure it describes.
  std::string takeFailureDetail() noexcept;
  // The same, for a caller that has no use for the text (a call that succeeded).
  void dropFailureDetail() noexcept { failureDetail.clear(); }
  const std::string& getDatabaseName() const { return database->getName(); }

  // The first existing record at index >= from whose field holds value; -1 when there is none.
  // Codes in order: 1 (unknown table or field), 14 (deleted table), 10 for findString on another
  // type / 9 for findInt on a String field (Int, Long and Relation fields are searched), 14
  // (from < 0).
  int findString(std::string_view table, std::string_view field, std::string_view value,
                 int from) const;
  int findInt(std::string_view table, std::string_view field, int value, int from) const;
  // Borrows env for every later save and load; it must outlive them.
  void setFileEnv(FileEnv& env) { fileEnv = &env; }

  // Defining a table.
  void createTemporaryTable();
  int addField(std::string_view name, int type);
  int addRelationField(std::string_view name, std::string_view targetTable);
  int createTable(std::string_view name);

  // Building a record in the current table.
  void chooseTable(std::string_view table);
  void chooseTableAt(int table);
  void setString(std::string_view field, std::string_view value);
  void setInt(std::string_view field, int value);
  void setLong(std::string_view field, int value);
  void setRelation(std::string_view field, int value);
  void setStringAt(int field, std::string_view value);
  void setIntAt(int field, int value);
  void setLongAt(int field, int value);
  void setRelationAt(int field, int value);
  int addRecord(int position);

  // Reading and changing a table, by name or by index (At).
  bool recordExists(std::string_view table, int record) const;
  bool recordExistsAt(int table, int record) const;
  int getRecordCount(std::string_view table) const;
  int getRecordCountAt(int table) const;
  void deleteRecord(std::string_view table, int record);
  void deleteRecordAt(int table, int record);
  int getFieldType(std::string_view table, std::string_view field) const;
  int getFieldTypeAt(int table, std::string_view field) const;
  const std::string& getRelationTarget(std::string_view table, int field) const;
  const std::string& getRelationTargetAt(int table, int field) const;
  int getFieldIndex(std::string_view table, std::string_view field) const;
  int getFieldIndexAt(int table, std::string_view field) const;
  const std::string& getFieldName(std::string_view table, int field) const;
  const std::string& getFieldNameAt(int table, int field) const;
  int getFieldCount(std::string_view table) const;
  int getFieldCountAt(int table) const;
  int getInt(std::string_view table, int record, std::string_view field) const;
  int getIntAt(int table, int record, int field) const;
  int getLong(std::string_view table, int record, std::string_view field) const;
  int getLongAt(int table, int record, int field) const;
  std::string_view getString(std::string_view table, int record, std::string_view field) const;
  std::string_view getStringAt(int table, int record, int field) const;
  int getRelation(std::string_view table, int record, std::string_view field) const;
  int getRelationAt(int table, int record, int field) const;
  int getChildCount(std::string_view table, int record, std::string_view childTable) const;
  int getChildCountAt(int table, int record, int childTable) const;
  int getChild(std::string_view table, int record, std::string_view childTable, int position) const;
  int getChildAt(int table, int record, int childTable, int position) const;

  // The table records are being built in; nullptr when none is chosen.
  const Table* getCurrentTable() const { return currentTable; }
  const Database& getDatabase() const { return *database; }
  Database& getDatabase() { return *database; }

 private:
  Table& current();  // code 4 without a current table

  std::unique_ptr<Database> database;  // never null; replaced whole by open
  std::unique_ptr<TableDefinition> temporaryTable;
  std::string failureDetail;
  Table* currentTable = nullptr;
  FileEnv* fileEnv = &defaultFileEnv();
};

}  // namespace velmora
