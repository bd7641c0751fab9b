#include "engine/Database.h"

#include <utility>

#include "engine/FieldValue.h"

Database::Database(const std::string& databaseName, int /*databaseFlag*/)
    : name(databaseName), flag(1), tables(2) {}

void Database::createDatabase(const std::string& databaseName, int databaseFlag) {
  name = databaseName;
  flag = databaseFlag;
}

void Database::clearAllRecords() {
  for (int t = 0; t < tables.getCount(); ++t) {
    if (Table* table = tables.at(t)) table->clearRecords();
  }
}

Table& Database::tableByIndex(int table) const {
  Table* found = tables.at(table);
  if (found == nullptr) throwError(kIndexOutOfRange);  // a deleted table's slot
  return *found;
}

void Database::deleteTable(int table) {
  tableByIndex(table);
  tables.set(table, nullptr);
}

int Database::addTable(const std::string& tableName, std::unique_ptr<Table> table) {
  const int slot = tables.getCount();
  Table& stored = *table;
  tables.append(std::move(table));
  stored.attach(this, slot);
  tableNames.add(slot, tableName);

  const TableDefinition& definition = stored.getDefinition();
  for (int i = 0; i < definition.fieldCount(); ++i) {
    if (definition.fieldType(i) != FieldType::Relation) continue;
    tableByName(definition.relationTarget(i)).addChildTable(slot);
  }
  return slot;
}

const RecordRenumbering& Database::buildRenumbering() {
  renumbering.reset();
  renumbering = std::make_unique<RecordRenumbering>(*this);
  return *renumbering;
}
