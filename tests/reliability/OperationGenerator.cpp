#include "tests/reliability/OperationGenerator.h"

#include <limits.h>
#include <string.h>

#include <vector>

namespace velmora {

namespace {

struct Weighted {
  Method method;
  int weight;
};

bool hasParameter(Method method, char letter) {
  return strchr(signatureOf(method).parameters, letter) != nullptr;
}

const ModelTable* tableAt(const ModelDatabase& database, int slot) {
  if (slot < 0 || slot >= static_cast<int>(database.tables.size())) return nullptr;
  return database.tables[slot].get();
}

int getRecordCount(const ModelTable* table) {
  return table == nullptr ? 0 : static_cast<int>(table->records.size());
}

bool hasRecords(const ModelTable& table) {
  for (const auto& record : table.records) {
    if (record) return true;
  }
  return false;
}

bool hasChildren(const ModelTable& table) { return !table.childTables.empty(); }

}  // namespace

int32_t OperationGenerator::index(int count) {
  if (count > 0 && chance(85)) return below(count);
  switch (below(5)) {
    case 0:
      return -1;
    case 1:
      return count;
    case 2:
      return count + 1;
    case 3:
      return INT_MIN;
    default:
      return between(-3, count + 3);
  }
}

int32_t OperationGenerator::number() {
  switch (below(6)) {
    case 0:
      return INT_MIN;
    case 1:
      return INT_MAX;
    case 2:
      return static_cast<int32_t>(random());
    default:
      return between(-3, 12);
  }
}

std::string OperationGenerator::text() {
  const std::vector<std::string>& pool = textPool();
  if (chance(50)) return pool[below(static_cast<int>(pool.size()))];
  // Random bytes 1 to 255, weighted towards the ones the file format treats specially.
  static const char kSpecial[] = "<>&;/!- \t\r\n]ab";
  std::string literal(static_cast<size_t>(below(24)), 'a');
  for (char& c : literal) {
    c = chance(60) ? kSpecial[below(static_cast<int>(sizeof kSpecial) - 1)]
                   : static_cast<char>(between(1, 255));
  }
  return literal;
}

std::string OperationGenerator::tableName(const ModelDatabase& database) {
  const auto& names = database.tableNames.nameByIndex;
  if (!names.empty() && chance(85)) {
    auto it = names.begin();
    std::advance(it, below(static_cast<int>(names.size())));
    return it->second;
  }
  const std::vector<std::string>& pool = textPool();
  return pool[below(kNameCount)];
}

std::string OperationGenerator::fieldName(const ModelTable* table) {
  if (table != nullptr && !table->definition.names.nameByIndex.empty() && chance(85)) {
    const auto& names = table->definition.names.nameByIndex;
    auto it = names.begin();
    std::advance(it, below(static_cast<int>(names.size())));
    return it->second;
  }
  return textPool()[below(kNameCount)];
}

// A table slot (mostly an existing table, preferably one that passes the filter); the table or
// null.
const ModelTable* OperationGenerator::someTable(const ModelDatabase& database, int32_t* slot,
                                                bool (*preferred)(const ModelTable&)) {
  const int count = static_cast<int>(database.tables.size());
  *slot = index(count);
  if (count > 0 && chance(80)) {
    std::vector<int> candidates;
    for (int t = 0; t < count; ++t) {
      const ModelTable* table = database.tables[t].get();
      if (table != nullptr && (preferred == nullptr || preferred(*table))) candidates.push_back(t);
    }
    if (candidates.empty()) {
      for (int t = 0; t < count; ++t) {
        if (database.tables[t] != nullptr) candidates.push_back(t);
      }
    }
    if (!candidates.empty()) *slot = candidates[below(static_cast<int>(candidates.size()))];
  }
  return tableAt(database, *slot);
}

// Table, record, field and child arguments for the reading and deleting methods.
void OperationGenerator::recordArguments(const ModelDatabase& database, Operation& op,
                                         bool byName) {
  const bool childMethod = op.method == Method::GetChildCountAt ||
                           op.method == Method::GetChildCount || op.method == Method::GetChildAt ||
                           op.method == Method::GetChild;
  int32_t slot = 0;
  const ModelTable* table = someTable(database, &slot, childMethod ? hasChildren : hasRecords);
  const int fields = table == nullptr ? 0 : table->definition.getFieldCount();
  int32_t record = index(getRecordCount(table));
  if (table != nullptr && chance(70)) {  // mostly an occupied slot
    std::vector<int> occupied;
    for (size_t r = 0; r < table->records.size(); ++r) {
      if (table->records[r]) occupied.push_back(static_cast<int>(r));
    }
    if (!occupied.empty()) record = occupied[below(static_cast<int>(occupied.size()))];
  }
  const int32_t field = index(fields);
  if (table != nullptr && field >= 0 && field < fields && chance(75)) {
    // Mostly the getter that fits the field's type.
    static const Method kAt[] = {Method::GetIntAt, Method::GetStringAt, Method::GetLongAt,
                                 Method::GetRelationAt};
    static const Method kByName[] = {Method::GetInt, Method::GetString, Method::GetLong,
                                     Method::GetRelation};
    const int type = table->definition.types[field];
    for (int k = 0; k < 4 && type >= 0 && type <= 3; ++k) {
      if (op.method == kAt[k]) op.method = kAt[type];
      if (op.method == kByName[k]) op.method = kByName[type];
    }
  }
  int32_t childSlot = index(static_cast<int>(database.tables.size()));
  if (table != nullptr && !table->childTables.empty() && chance(80)) {
    childSlot = table->childTables[below(static_cast<int>(table->childTables.size()))];
  }
  std::string table1 = byName && table != nullptr && chance(90)
                           ? database.tableNames.nameByIndex.at(slot)
                           : tableName(database);
  std::string fieldText = table != nullptr && field >= 0 && field < fields && chance(85)
                              ? table->definition.names.nameByIndex.at(field)
                              : fieldName(table);
  std::string childName;
  if (const auto found = database.tableNames.nameByIndex.find(childSlot);
      found != database.tableNames.nameByIndex.end() && chance(85)) {
    childName = found->second;
  } else {
    childName = tableName(database);
  }
  int32_t position = index(3);

  switch (op.method) {
    case Method::RecordExistsAt:
    case Method::DeleteRecordAt:
      op.a = slot;
      op.b = record;
      break;
    case Method::RecordExists:
    case Method::DeleteRecord:
      op.s1 = table1;
      op.a = record;
      break;
    case Method::GetRecordCountAt:
    case Method::GetFieldCountAt:
      op.a = slot;
      break;
    case Method::GetRecordCount:
    case Method::GetFieldCount:
      op.s1 = table1;
      break;
    case Method::GetFieldTypeAt:
    case Method::GetFieldIndexAt:
      op.a = slot;
      op.s1 = fieldText;
      break;
    case Method::GetFieldType:
    case Method::GetFieldIndex:
      op.s1 = table1;
      op.s2 = fieldText;
      break;
    case Method::GetRelationTargetAt:
    case Method::GetFieldNameAt:
      op.a = slot;
      op.b = field;
      break;
    case Method::GetRelationTarget:
    case Method::GetFieldName:
      op.s1 = table1;
      op.a = field;
      break;
    case Method::GetIntAt:
    case Method::GetLongAt:
    case Method::GetStringAt:
    case Method::GetRelationAt:
      op.a = slot;
      op.b = record;
      op.c = field;
      break;
    case Method::GetInt:
    case Method::GetLong:
    case Method::GetString:
    case Method::GetRelation:
      op.s1 = table1;
      op.a = record;
      op.s2 = fieldText;
      break;
    case Method::GetChildCountAt:
      op.a = slot;
      op.b = record;
      op.c = childSlot;
      break;
    case Method::GetChildCount:
      op.s1 = table1;
      op.a = record;
      op.s2 = childName;
      break;
    case Method::GetChildAt:
      op.a = slot;
      op.b = record;
      op.c = childSlot;
      op.d = position;
      break;
    case Method::GetChild:
      op.s1 = table1;
      op.a = record;
      op.s2 = childName;
      op.b = position;
      break;
    default:
      break;
  }
}

Method OperationGenerator::pickMethod(const ReferenceModel& model) {
  const ModelDatabase& database = model.getDatabase();
  const int tables = static_cast<int>(database.tables.size());
  const bool defining = model.getTemporaryTable().has_value();
  const int definedFields = defining ? model.getTemporaryTable()->getFieldCount() : 0;
  const ModelTable* current =
      model.getCurrentTable() >= 0 ? database.tables[model.getCurrentTable()].get() : nullptr;
  const bool building = current != nullptr && current->temporary.has_value();
  const bool fewTables = tables < 3;

  const Weighted weights[] = {
      {Method::CreateDatabase, 5},
      {Method::CreateTemporaryTable, defining ? 5 : (fewTables ? 300 : 15)},
      {Method::AddField, defining ? 400 : 5},
      {Method::AddRelationField, defining ? 120 : 5},
      {Method::CreateTable, defining ? 40 + 40 * definedFields : 5},
      {Method::ChooseTableAt, building ? 20 : 150},
      {Method::ChooseTable, building ? 20 : 150},
      {Method::SetStringAt, building ? 80 : 5},
      {Method::SetIntAt, building ? 80 : 5},
      {Method::SetLongAt, building ? 40 : 5},
      {Method::SetString, building ? 80 : 5},
      {Method::SetLong, building ? 40 : 5},
      {Method::SetInt, building ? 80 : 5},
      {Method::SetRelationAt, building ? 80 : 5},
      {Method::SetRelation, building ? 80 : 5},
      {Method::AddRecord, building ? 200 : 10},
      {Method::RecordExistsAt, 20},
      {Method::RecordExists, 20},
      {Method::GetRecordCountAt, 20},
      {Method::GetRecordCount, 20},
      {Method::DeleteRecordAt, 40},
      {Method::DeleteRecord, 40},
      {Method::GetFieldTypeAt, 10},
      {Method::GetFieldType, 10},
      {Method::GetRelationTargetAt, 20},
      {Method::GetRelationTarget, 20},
      {Method::GetFieldIndexAt, 10},
      {Method::GetFieldIndex, 10},
      {Method::GetFieldNameAt, 10},
      {Method::GetFieldName, 10},
      {Method::GetFieldCountAt, 10},
      {Method::GetFieldCount, 10},
      {Method::GetIntAt, 30},
      {Method::GetInt, 30},
      {Method::GetLongAt, 20},
      {Method::GetLong, 20},
      {Method::GetStringAt, 30},
      {Method::GetString, 30},
      {Method::GetRelationAt, 30},
      {Method::GetRelation, 30},
      {Method::GetChildCountAt, 40},
      {Method::GetChildCount, 40},
      {Method::GetChildAt, 40},
      {Method::GetChild, 40},
      {Method::Load, 15},
      {Method::Save, 20},
      {Method::ClearAllRecords, 3},
      {Method::TableExists, 10},
      {Method::GetTableIndex, 10},
      {Method::GetTableName, 10},
      {Method::DeleteTable, 4},
      {Method::GetTableCount, 10},
      {Method::TruncateFile, 5},
      {Method::PatchFile, 5},
      {Method::SaveWithSchema, 15},
      {Method::FindString, 20},
      {Method::FindInt, 20},
      {Method::GetDatabaseName, 3},
      {Method::Open, 8},
  };
  int total = 0;
  for (const Weighted& entry : weights) total += entry.weight;
  int pick = below(total);
  for (const Weighted& entry : weights) {
    if (pick < entry.weight) return entry.method;
    pick -= entry.weight;
  }
  return Method::GetTableCount;
}

Operation OperationGenerator::next(const ReferenceModel& model) {
  const ModelDatabase& database = model.getDatabase();
  Operation op;
  op.method = pickMethod(model);
  const ModelTable* current =
      model.getCurrentTable() >= 0 ? database.tables[model.getCurrentTable()].get() : nullptr;
  const int currentFields = current == nullptr ? 0 : current->definition.getFieldCount();

  switch (op.method) {
    case Method::CreateDatabase:
      op.s1 = text();
      op.a = number();
      break;
    case Method::AddField: {
      op.s1 = fieldName(nullptr);
      static const int kTypes[] = {0, 1, 2};
      op.a = chance(97) ? kTypes[below(3)] : (chance(50) ? 3 : between(-2, 9));
      break;
    }
    case Method::AddRelationField:
      op.s1 = fieldName(nullptr);
      // An existing table mostly; else one of the names tables get, so a relation to the table
      // being defined comes up too.
      op.s2 = !database.tableNames.nameByIndex.empty() && chance(75) ? tableName(database)
              : chance(85)                                           ? plannedName
                                                                     : tableName(database);
      break;
    case Method::CreateTemporaryTable:
      // Now and then a name that does not read back from a file.
      plannedName = textPool()[chance(90) ? below(kTableNameCount) : below(kNameCount)];
      break;
    case Method::CreateTable:
      op.s1 = chance(85) ? plannedName : tableName(database);
      break;
    case Method::ChooseTableAt:
      someTable(database, &op.a, nullptr);
      break;
    case Method::ChooseTable:
      op.s1 = tableName(database);
      break;
    case Method::SetStringAt:
    case Method::SetIntAt:
    case Method::SetLongAt:
    case Method::SetRelationAt:
    case Method::SetString:
    case Method::SetLong:
    case Method::SetInt:
    case Method::SetRelation: {
      const int32_t field = index(currentFields);
      const bool valid = current != nullptr && field >= 0 && field < currentFields;
      const bool byName = op.method == Method::SetString || op.method == Method::SetLong ||
                          op.method == Method::SetInt || op.method == Method::SetRelation;
      if (valid && chance(80)) {  // the setter that fits the field's type
        static const Method kByIndex[] = {Method::SetIntAt, Method::SetStringAt, Method::SetLongAt,
                                          Method::SetRelationAt};
        static const Method kByName[] = {Method::SetInt, Method::SetString, Method::SetLong,
                                         Method::SetRelation};
        const int type = current->definition.types[field];
        if (type >= 0 && type <= 3) op.method = byName ? kByName[type] : kByIndex[type];
      }
      const bool isString = op.method == Method::SetString || op.method == Method::SetStringAt;
      const bool isRelation =
          op.method == Method::SetRelation || op.method == Method::SetRelationAt;
      int32_t value = number();
      if (isRelation && valid && chance(85)) {
        // Mostly a record slot of the target table, sometimes just outside it.
        int target = -1;
        for (const auto& entry : current->definition.relationTargets) {
          if (entry.first != field) continue;
          const auto found = database.tableNames.indexByName.find(entry.second);
          if (found != database.tableNames.indexByName.end()) target = found->second;
          break;
        }
        value = index(getRecordCount(tableAt(database, target)));
      }
      std::string fieldText = valid && chance(90) ? current->definition.names.nameByIndex.at(field)
                                                  : fieldName(current);
      if (byName) {
        op.s1 = fieldText;
        if (isString) {
          op.s2 = text();
        } else {
          op.a = value;
        }
      } else {
        op.a = field;
        if (isString) {
          op.s1 = text();
        } else {
          op.b = value;
        }
      }
      break;
    }
    case Method::AddRecord:
      op.a = chance(75) ? -1 : index(getRecordCount(current) + 1);
      break;
    case Method::FindString:
    case Method::FindInt: {
      op.s1 = tableName(database);
      const auto found = database.tableNames.indexByName.find(op.s1);
      const ModelTable* table = found == database.tableNames.indexByName.end()
                                    ? nullptr
                                    : database.tables[found->second].get();
      op.s2 = fieldName(table);
      // Values that records often hold: small numbers, and the pool's texts.
      op.a = op.method == Method::FindString ? below(static_cast<int>(textPool().size()))
             : chance(70)                    ? between(-1, 3)
                                             : number();
      op.b = chance(85) ? below(3) : index(table == nullptr ? 0 : getRecordCount(table));
      break;
    }
    case Method::Open:
      // The files saves wrote, or none; the model does not foresee every way a patched file
      // fails before its schema is read.
      op.a = chance(90) ? below(2) : below(4);
      break;
    case Method::Load:
    case Method::Save:
    case Method::SaveWithSchema:
      op.a = chance(85) ? below(2) : below(kFileSlotCount);
      if (op.method == Method::Load && chance(20)) op.a = kScratchFileSlot;
      break;
    case Method::TableExists:
    case Method::GetTableName:
    case Method::DeleteTable:
      op.a = index(static_cast<int>(database.tables.size()));
      break;
    case Method::GetTableIndex:
      op.s1 = tableName(database);
      break;
    case Method::TruncateFile: {
      op.a = below(2);
      const std::optional<std::string> bytes = model.fileContent(op.a);
      op.b = between(0, bytes ? static_cast<int>(bytes->size()) : 10);
      break;
    }
    case Method::PatchFile: {
      op.a = below(2);
      const std::optional<std::string> bytes = model.fileContent(op.a);
      op.b = between(0, bytes ? static_cast<int>(bytes->size()) : 10);
      static const char kBytes[] = "<>/!- a&;\r\n\xff";
      op.c = chance(10) ? 0 : static_cast<unsigned char>(kBytes[below(sizeof kBytes - 1)]);
      break;
    }
    default:
      recordArguments(database, op, !hasParameter(op.method, 'i') || hasParameter(op.method, 't'));
      break;
  }

  if (chance(1)) {
    if (hasParameter(op.method, 't') || hasParameter(op.method, 'f')) {
      op.nullArgument = NullArgument::FirstText;
    }
    if (hasParameter(op.method, 'o') && chance(50)) op.nullArgument = NullArgument::Out;
  }
  if (op.method == Method::TruncateFile || op.method == Method::PatchFile) {
    op.nullArgument = NullArgument::None;  // no interface call to pass a null to
  }
  return op;
}

}  // namespace velmora
