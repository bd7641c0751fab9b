#include "workspace/Workspace.h"

#include <utility>

#include "xml/Persistence.h"

namespace velmora {

Workspace::Workspace() : database(std::make_unique<Database>("velmora", 1)) {}

void Workspace::createDatabase(std::string_view name, int flag) {
  database->createDatabase(name, flag);
}

void Workspace::clearAllRecords() { database->clearAllRecords(); }

bool Workspace::tableExists(int table) const { return database->tableExists(table); }

int Workspace::getTableIndex(std::string_view table) const { return database->tableIndex(table); }

const std::string& Workspace::getTableName(int table) const { return database->tableName(table); }

void Workspace::deleteTable(int table) {
  const bool deletesCurrent =
      database->tableExists(table) && &database->tableByIndex(table) == currentTable;
  database->deleteTable(table);
  if (deletesCurrent) currentTable = nullptr;  // never keep a destroyed table chosen
}

int Workspace::getTableCount() const { return database->getTableCount(); }

bool Workspace::save(const std::string& fileName) {
  failureDetail.clear();
  return saveDatabase(*database, fileName, *fileEnv, &failureDetail);
}

bool Workspace::load(const std::string& fileName) {
  failureDetail.clear();
  return loadDatabase(*database, fileName, *fileEnv, &failureDetail);
}

bool Workspace::saveWithSchema(const std::string& fileName) {
  failureDetail.clear();
  return saveDatabaseWithSchema(*database, fileName, *fileEnv, &failureDetail);
}

// Everything is built aside; the swap and the resets below cannot fail.
bool Workspace::open(const std::string& fileName) {
  failureDetail.clear();
  std::unique_ptr<Database> opened = openDatabase(fileName, *fileEnv, &failureDetail);
  if (opened == nullptr) return false;
  database.swap(opened);
  temporaryTable.reset();
  currentTable = nullptr;
  return true;
}

std::string Workspace::takeFailureDetail() noexcept {
  std::string detail;
  detail.swap(failureDetail);
  return detail;
}

void Workspace::createTemporaryTable() { temporaryTable = std::make_unique<TableDefinition>(); }

int Workspace::addField(std::string_view name, int type) {
  if (temporaryTable == nullptr) throwError(kNoTemporaryTable);
  return temporaryTable->addField(name, type);
}

int Workspace::addRelationField(std::string_view name, std::string_view targetTable) {
  if (temporaryTable == nullptr) throwError(kNoTemporaryTable);
  return temporaryTable->addRelationField(name, targetTable);
}

int Workspace::createTable(std::string_view name) {
  if (temporaryTable == nullptr) throwError(kNoTemporaryTable);
  // The definition leaves the workspace before anything can fail, so it is gone in every case.
  std::unique_ptr<TableDefinition> definition = std::move(temporaryTable);
  auto table = std::make_unique<Table>(std::move(definition));
  return database->addTable(name, std::move(table));
}

void Workspace::chooseTable(std::string_view table) {
  Table& chosen = database->tableByName(table);
  currentTable = &chosen;
  chosen.createTemporaryRecord();
}

void Workspace::chooseTableAt(int table) {
  Table& chosen = database->tableByIndex(table);
  currentTable = &chosen;
  chosen.createTemporaryRecord();
}

Table& Workspace::current() {
  if (currentTable == nullptr) throwError(kNoCurrentTable);
  return *currentTable;
}

void Workspace::setString(std::string_view field, std::string_view value) {
  current().setString(field, value);
}
void Workspace::setInt(std::string_view field, int value) { current().setInt(field, value); }
void Workspace::setLong(std::string_view field, int value) { current().setLong(field, value); }
void Workspace::setRelation(std::string_view field, int value) {
  current().setRelation(field, value);
}
void Workspace::setStringAt(int field, std::string_view value) {
  current().setString(field, value);
}
void Workspace::setIntAt(int field, int value) { current().setInt(field, value); }
void Workspace::setLongAt(int field, int value) { current().setLong(field, value); }
void Workspace::setRelationAt(int field, int value) { current().setRelation(field, value); }

int Workspace::addRecord(int position) { return current().addRecord(position); }

bool Workspace::recordExists(std::string_view table, int record) const {
  return database->tableByName(table).recordExists(record);
}
bool Workspace::recordExistsAt(int table, int record) const {
  return database->tableByIndex(table).recordExists(record);
}
int Workspace::getRecordCount(std::string_view table) const {
  return database->tableByName(table).getRecordCount();
}
int Workspace::getRecordCountAt(int table) const {
  return database->tableByIndex(table).getRecordCount();
}
void Workspace::deleteRecord(std::string_view table, int record) {
  database->tableByName(table).deleteRecord(record);
}
void Workspace::deleteRecordAt(int table, int record) {
  database->tableByIndex(table).deleteRecord(record);
}

int Workspace::getFieldType(std::string_view table, std::string_view field) const {
  return database->tableByName(table).getDefinition().fieldTypeByName(field);
}
int Workspace::getFieldTypeAt(int table, std::string_view field) const {
  return database->tableByIndex(table).getDefinition().fieldTypeByName(field);
}
const std::string& Workspace::getRelationTarget(std::string_view table, int field) const {
  return database->tableByName(table).getDefinition().relationTarget(field);
}
const std::string& Workspace::getRelationTargetAt(int table, int field) const {
  return database->tableByIndex(table).getDefinition().relationTarget(field);
}
int Workspace::getFieldIndex(std::string_view table, std::string_view field) const {
  return database->tableByName(table).getDefinition().fieldIndex(field);
}
int Workspace::getFieldIndexAt(int table, std::string_view field) const {
  return database->tableByIndex(table).getDefinition().fieldIndex(field);
}
const std::string& Workspace::getFieldName(std::string_view table, int field) const {
  return database->tableByName(table).getDefinition().fieldName(field);
}
const std::string& Workspace::getFieldNameAt(int table, int field) const {
  return database->tableByIndex(table).getDefinition().fieldName(field);
}
int Workspace::getFieldCount(std::string_view table) const {
  return database->tableByName(table).getDefinition().getFieldCount();
}
int Workspace::getFieldCountAt(int table) const {
  return database->tableByIndex(table).getDefinition().getFieldCount();
}

int Workspace::getInt(std::string_view table, int record, std::string_view field) const {
  return database->tableByName(table).getInt(record, field);
}
int Workspace::getIntAt(int table, int record, int field) const {
  return database->tableByIndex(table).getInt(record, field);
}
int Workspace::getLong(std::string_view table, int record, std::string_view field) const {
  return database->tableByName(table).getLong(record, field);
}
int Workspace::getLongAt(int table, int record, int field) const {
  return database->tableByIndex(table).getLong(record, field);
}
std::string_view Workspace::getString(std::string_view table, int record,
                                      std::string_view field) const {
  return database->tableByName(table).getString(record, field);
}
std::string_view Workspace::getStringAt(int table, int record, int field) const {
  return database->tableByIndex(table).getString(record, field);
}
int Workspace::getRelation(std::string_view table, int record, std::string_view field) const {
  return database->tableByName(table).getRelation(record, field);
}
int Workspace::getRelationAt(int table, int record, int field) const {
  return database->tableByIndex(table).getRelation(record, field);
}

int Workspace::getChildCount(std::string_view table, int record,
                             std::string_view childTable) const {
  return database->tableByName(table).getChildCount(record, childTable);
}
int Workspace::getChildCountAt(int table, int record, int childTable) const {
  return database->tableByIndex(table).getChildCount(record, childTable);
}
int Workspace::getChild(std::string_view table, int record, std::string_view childTable,
                        int position) const {
  return database->tableByName(table).childRecord(record, childTable, position);
}
int Workspace::getChildAt(int table, int record, int childTable, int position) const {
  return database->tableByIndex(table).childRecord(record, childTable, position);
}

int Workspace::findString(std::string_view table, std::string_view field, std::string_view value,
                          int from) const {
  const Table& searched = database->tableByName(table);
  const int index = searched.getDefinition().fieldIndex(field);
  if (searched.getDefinition().fieldType(index) != FieldType::String) throwError(kNotStringField);
  if (from < 0) throwError(kIndexOutOfRange);
  for (int record = from; record < searched.getRecordCount(); ++record) {
    if (searched.recordExists(record) && searched.getString(record, index) == value) return record;
  }
  return -1;
}

int Workspace::findInt(std::string_view table, std::string_view field, int value, int from) const {
  const Table& searched = database->tableByName(table);
  const int index = searched.getDefinition().fieldIndex(field);
  const int type = searched.getDefinition().fieldType(index);
  if (type != FieldType::Int && type != FieldType::Long && type != FieldType::Relation) {
    throwError(kNotIntField);
  }
  if (from < 0) throwError(kIndexOutOfRange);
  for (int record = from; record < searched.getRecordCount(); ++record) {
    if (!searched.recordExists(record)) continue;
    const int stored = type == FieldType::Int    ? searched.getInt(record, index)
                       : type == FieldType::Long ? searched.getLong(record, index)
                                                 : searched.getRelation(record, index);
    if (stored == value) return record;
  }
  return -1;
}

}  // namespace velmora
