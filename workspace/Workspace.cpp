#include "workspace/Workspace.h"

#include <utility>

Workspace::Workspace() : database("velmora", 1) {}

void Workspace::createDatabase(const std::string& name, int flag) {
  database.createDatabase(name, flag);
}

void Workspace::clearAllRecords() { database.clearAllRecords(); }

bool Workspace::tableExists(int table) const { return database.tableExists(table); }

int Workspace::getTableIndex(const std::string& table) const { return database.tableIndex(table); }

const std::string& Workspace::getTableName(int table) const { return database.tableName(table); }

void Workspace::deleteTable(int table) {
  const bool deletesCurrent =
      database.tableExists(table) && &database.tableByIndex(table) == currentTable;
  database.deleteTable(table);
  if (deletesCurrent) currentTable = nullptr;  // never keep a destroyed table chosen
}

int Workspace::getTableCount() const { return database.tableCount(); }

void Workspace::createTemporaryTable() { temporaryTable = std::make_unique<TableDefinition>(); }

int Workspace::addField(const std::string& name, int type) {
  if (temporaryTable == nullptr) throwError(kNoTemporaryTable);
  return temporaryTable->addField(name, type);
}

int Workspace::addRelationField(const std::string& name, const std::string& targetTable) {
  if (temporaryTable == nullptr) throwError(kNoTemporaryTable);
  return temporaryTable->addRelationField(name, targetTable);
}

int Workspace::createTable(const std::string& name) {
  if (temporaryTable == nullptr) throwError(kNoTemporaryTable);
  // The definition leaves the workspace before anything can fail, so it is gone in every case.
  std::unique_ptr<TableDefinition> definition = std::move(temporaryTable);
  auto table = std::make_unique<Table>(std::move(definition));
  return database.addTable(name, std::move(table));
}

void Workspace::chooseTable(const std::string& table) {
  Table& chosen = database.tableByName(table);
  currentTable = &chosen;
  chosen.createTemporaryRecord();
}

void Workspace::chooseTableAt(int table) {
  Table& chosen = database.tableByIndex(table);
  currentTable = &chosen;
  chosen.createTemporaryRecord();
}

Table& Workspace::current() {
  if (currentTable == nullptr) throwError(kNoCurrentTable);
  return *currentTable;
}

void Workspace::setString(const std::string& field, const std::string& value) {
  current().setString(field, value);
}
void Workspace::setInt(const std::string& field, int value) { current().setInt(field, value); }
void Workspace::setLong(const std::string& field, int value) { current().setLong(field, value); }
void Workspace::setRelation(const std::string& field, int value) {
  current().setRelation(field, value);
}
void Workspace::setStringAt(int field, const std::string& value) {
  current().setString(field, value);
}
void Workspace::setIntAt(int field, int value) { current().setInt(field, value); }
void Workspace::setLongAt(int field, int value) { current().setLong(field, value); }
void Workspace::setRelationAt(int field, int value) { current().setRelation(field, value); }

int Workspace::addRecord(int position) { return current().addRecord(position); }

bool Workspace::recordExists(const std::string& table, int record) const {
  return database.tableByName(table).recordExists(record);
}
bool Workspace::recordExistsAt(int table, int record) const {
  return database.tableByIndex(table).recordExists(record);
}
int Workspace::getRecordCount(const std::string& table) const {
  return database.tableByName(table).recordCount();
}
int Workspace::getRecordCountAt(int table) const {
  return database.tableByIndex(table).recordCount();
}
void Workspace::deleteRecord(const std::string& table, int record) {
  database.tableByName(table).deleteRecord(record);
}
void Workspace::deleteRecordAt(int table, int record) {
  database.tableByIndex(table).deleteRecord(record);
}

int Workspace::getFieldType(const std::string& table, const std::string& field) const {
  return database.tableByName(table).getDefinition().fieldTypeByName(field);
}
int Workspace::getFieldTypeAt(int table, const std::string& field) const {
  return database.tableByIndex(table).getDefinition().fieldTypeByName(field);
}
const std::string& Workspace::getRelationTarget(const std::string& table, int field) const {
  return database.tableByName(table).getDefinition().relationTarget(field);
}
const std::string& Workspace::getRelationTargetAt(int table, int field) const {
  return database.tableByIndex(table).getDefinition().relationTarget(field);
}
int Workspace::getFieldIndex(const std::string& table, const std::string& field) const {
  return database.tableByName(table).getDefinition().fieldIndex(field);
}
int Workspace::getFieldIndexAt(int table, const std::string& field) const {
  return database.tableByIndex(table).getDefinition().fieldIndex(field);
}
const std::string& Workspace::getFieldName(const std::string& table, int field) const {
  return database.tableByName(table).getDefinition().fieldName(field);
}
const std::string& Workspace::getFieldNameAt(int table, int field) const {
  return database.tableByIndex(table).getDefinition().fieldName(field);
}
int Workspace::getFieldCount(const std::string& table) const {
  return database.tableByName(table).getDefinition().fieldCount();
}
int Workspace::getFieldCountAt(int table) const {
  return database.tableByIndex(table).getDefinition().fieldCount();
}

int Workspace::getInt(const std::string& table, int record, const std::string& field) const {
  return database.tableByName(table).getInt(record, field);
}
int Workspace::getIntAt(int table, int record, int field) const {
  return database.tableByIndex(table).getInt(record, field);
}
int Workspace::getLong(const std::string& table, int record, const std::string& field) const {
  return database.tableByName(table).getLong(record, field);
}
int Workspace::getLongAt(int table, int record, int field) const {
  return database.tableByIndex(table).getLong(record, field);
}
const std::string& Workspace::getString(const std::string& table, int record,
                                        const std::string& field) const {
  return database.tableByName(table).getString(record, field);
}
const std::string& Workspace::getStringAt(int table, int record, int field) const {
  return database.tableByIndex(table).getString(record, field);
}
int Workspace::getRelation(const std::string& table, int record, const std::string& field) const {
  return database.tableByName(table).getRelation(record, field);
}
int Workspace::getRelationAt(int table, int record, int field) const {
  return database.tableByIndex(table).getRelation(record, field);
}

int Workspace::getChildCount(const std::string& table, int record,
                             const std::string& childTable) const {
  return database.tableByName(table).childCount(record, childTable);
}
int Workspace::getChildCountAt(int table, int record, int childTable) const {
  return database.tableByIndex(table).childCount(record, childTable);
}
int Workspace::getChild(const std::string& table, int record, const std::string& childTable,
                        int position) const {
  return database.tableByName(table).childRecord(record, childTable, position);
}
int Workspace::getChildAt(int table, int record, int childTable, int position) const {
  return database.tableByIndex(table).childRecord(record, childTable, position);
}
