#include "engine/Database.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <utility>
#include <vector>

#include "engine/FieldValue.h"

namespace velmora {

Database::Database(const std::string& databaseName, int /*databaseFlag*/)
    : name(databaseName), flag(1), tables(2) {}

void Database::createDatabase(std::string_view databaseName, int databaseFlag) {
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
  ++tableGeneration;
}

// Everything that needs memory is had before anything is stored, so a failed allocation leaves
// the database as it was. The tables the relation fields name are found first, as they will be
// once the new table has its name (a name of its own means the table itself); when one cannot be
// found, its failure is raised after the table is stored with the registrations before it.
int Database::addTable(std::string_view tableName, std::unique_ptr<Table> table) {
  const int slot = tables.getCount();
  Table& stored = *table;
  const TableDefinition& definition = stored.getDefinition();
  std::vector<Table*> targets;
  std::exception_ptr unresolved;
  for (int i = 0; i < definition.getFieldCount() && !unresolved; ++i) {
    if (definition.fieldType(i) != FieldType::Relation) continue;
    try {
      const std::string& target = definition.relationTarget(i);
      targets.push_back(target == tableName ? &stored : &tableByName(target));
    } catch (const Win::Exception&) {
      unresolved = std::current_exception();
    }
  }
  std::vector<std::unique_ptr<ChildTableLinks>> links;
  links.reserve(targets.size());
  for (Table* target : targets) links.push_back(target->newChildTableLinks());
  // A target named by several fields registers once per field: room for all of them, counted
  // on a sorted copy so that a table of many Relation fields costs no quadratic count.
  std::vector<Table*> sorted(targets);
  std::sort(sorted.begin(), sorted.end(), std::less<Table*>());
  for (size_t first = 0; first < sorted.size();) {
    size_t end = first;
    while (end < sorted.size() && sorted[end] == sorted[first]) ++end;
    sorted[first]->reserveChildTables(static_cast<int>(end - first));
    first = end;
  }
  tables.reserve(1);
  tableNames.add(slot, tableName);  // the last step that can fail for want of memory

  tables.append(std::move(table));
  ++tableGeneration;
  stored.attach(this, slot);
  for (size_t k = 0; k < targets.size(); ++k) targets[k]->addChildTable(slot, std::move(links[k]));
  if (unresolved) std::rethrow_exception(unresolved);
  return slot;
}

}  // namespace velmora
