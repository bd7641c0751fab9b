#include "tests/reliability/ReferenceModel.h"

#include <limits.h>
#include <stdint.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "tests/reliability/ReferenceReader.h"

namespace velmora {

namespace {

constexpr int32_t kUnexpected = static_cast<int32_t>(0x8000FFFFu);

// Engine codes.
constexpr int kNameNotFound = 1;
constexpr int kIndexHasNoName = 2;
constexpr int kNoTemporaryTable = 3;
constexpr int kNoCurrentTable = 4;
constexpr int kNotRelation = 6;
constexpr int kNoReference = 7;
constexpr int kNotLong = 8;
constexpr int kNotInt = 9;
constexpr int kNotString = 10;
constexpr int kNoTemporaryRecord = 11;
constexpr int kChildTableNotFound = 12;
constexpr int kChildOutOfRange = 13;
constexpr int kOutOfRange = 14;
constexpr int kNoSchema = 15;
constexpr int kCannotRead = 101;
constexpr int kCannotWrite = 102;

// Field types.
constexpr int kInt = 0;
constexpr int kString = 1;
constexpr int kLong = 2;
constexpr int kRelation = 3;

[[noreturn]] void fail(int code) { throw ModelFailure{code}; }

int32_t resultFor(int code) {
  return static_cast<int32_t>(0x80040200u + static_cast<uint32_t>(code));
}

const char kCreatedComment[] = "<!--this is a database created with velmora-->";
const char kDownloadComment[] =
    "<!--you can download this program from https://velmora.example.org/download-->";

// "&" and "<" always, and the ">" that ends "]]>".
std::string escapeText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>' && i >= 2 && text[i - 1] == ']' && text[i - 2] == ']') {
      out += "&gt;";
    } else {
      out += c;
    }
  }
  return out;
}

std::string element(const std::string& name, const std::string& content) {
  if (content.empty()) return "<" + name + "/>";
  return "<" + name + ">" + content + "</" + name + ">";
}

// Leading whitespace, a sign, digits; too large a number gives the nearest 32-bit value; no
// number gives 0.
int32_t parseNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min(value * 10 + (text[i] - '0'), 1LL << 40);
  }
  if (negative) value = -value;
  return static_cast<int32_t>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

ModelRecord emptyRecord(const ModelDefinition& definition) {
  return ModelRecord(static_cast<size_t>(definition.getFieldCount()));
}

ModelCell numberCell(int32_t number) { return ModelCell{number, std::string()}; }
ModelCell textCell(const std::string& text) { return ModelCell{0, text}; }

}  // namespace

void ModelNames::add(int index, const std::string& name) {
  indexByName[name] = index;
  nameByIndex[index] = name;
}

int ModelNames::indexOf(const std::string& name) const {
  const auto found = indexByName.find(name);
  if (found == indexByName.end()) fail(kNameNotFound);
  return found->second;
}

const std::string& ModelNames::nameOf(int index) const {
  const auto found = nameByIndex.find(index);
  if (found == nameByIndex.end()) fail(kIndexHasNoName);
  return found->second;
}

int ModelDefinition::fieldType(int field) const {
  if (field < 0 || field >= getFieldCount()) fail(kOutOfRange);
  return types[field];
}

const std::string& ModelDefinition::relationTarget(int field) const {
  if (fieldType(field) != kRelation) fail(kNotRelation);
  for (const auto& target : relationTargets) {
    if (target.first == field) return target.second;
  }
  fail(kNoReference);
}

std::optional<std::string> ReferenceModel::fileContent(int slot) const {
  const auto found = files.find(slot);
  if (found == files.end()) return std::nullopt;
  return found->second;
}

ModelTable& ReferenceModel::tableByIndex(int table) const {
  if (table < 0 || table >= static_cast<int>(database.tables.size())) fail(kOutOfRange);
  if (!database.tables[table]) fail(kOutOfRange);  // a deleted table's slot
  return *database.tables[table];
}

ModelTable& ReferenceModel::tableByName(const std::string& name) const {
  return tableByIndex(database.tableNames.indexOf(name));
}

ModelTable& ReferenceModel::current() const {
  if (currentTable < 0) fail(kNoCurrentTable);
  return *database.tables[currentTable];
}

void ReferenceModel::set(ModelTable& table, int field, int type, int code, const ModelCell& cell) {
  if (table.definition.fieldType(field) != type) fail(code);
  if (!table.temporary) fail(kNoTemporaryRecord);
  (*table.temporary)[field] = cell;
}

void ReferenceModel::setByName(const std::string& field, int type, int code,
                               const ModelCell& cell) {
  ModelTable& table = current();
  set(table, table.definition.names.indexOf(field), type, code, cell);
}

void ReferenceModel::setAt(int field, int type, int code, const ModelCell& cell) {
  set(current(), field, type, code, cell);
}

std::vector<int>& ReferenceModel::childList(ModelTable& parent, int parentRecord,
                                            int childTable) const {
  const auto registered =
      std::find(parent.childTables.begin(), parent.childTables.end(), childTable);
  if (registered == parent.childTables.end()) fail(kChildTableNotFound);
  auto& lists = parent.childLinks[registered - parent.childTables.begin()];
  if (parentRecord < 0 || parentRecord >= static_cast<int>(lists.size())) fail(kOutOfRange);
  return lists[parentRecord];
}

void ReferenceModel::linkRelations(ModelTable& table, const ModelRecord& record, int slot,
                                   bool link) {
  for (int field = 0; field < table.definition.getFieldCount(); ++field) {
    if (table.definition.types[field] != kRelation) continue;
    ModelTable& target = tableByName(table.definition.relationTarget(field));
    const int parent = record[field] ? record[field]->number : 0;
    std::vector<int>& list = childList(target, parent, table.index);
    if (link) {
      list.push_back(slot);
    } else {
      const auto found = std::find(list.begin(), list.end(), slot);
      if (found != list.end()) list.erase(found);
    }
  }
}

int ReferenceModel::addRecord(ModelTable& table, int position) {
  if (!table.temporary) fail(kNoTemporaryRecord);
  ModelRecord& temporary = *table.temporary;
  for (int field = 0; field < table.definition.getFieldCount(); ++field) {
    const int type = table.definition.types[field];
    if (!temporary[field] && type >= kInt && type <= kRelation) temporary[field] = ModelCell{};
  }
  const bool replaces = position >= 0 && position < static_cast<int>(table.records.size());
  if (replaces && table.records[position]) {
    linkRelations(table, *table.records[position], position, false);
  }
  int slot = position;
  if (replaces) {
    table.records[slot] = std::move(temporary);
  } else {
    // Every child table's links get the new slot's list before the record is linked, unless a
    // list cleared with the records is still there for it.
    slot = static_cast<int>(table.records.size());
    for (auto& lists : table.childLinks) {
      if (static_cast<int>(lists.size()) <= slot) lists.emplace_back();
    }
    table.records.push_back(std::move(temporary));
  }
  table.temporary.reset();
  linkRelations(table, *table.records[slot], slot, true);
  return slot;
}

const ModelCell& ReferenceModel::storedValue(const ModelTable& table, int record, int field,
                                             int type, int code) const {
  if (table.definition.fieldType(field) != type) fail(code);
  if (record < 0 || record >= static_cast<int>(table.records.size())) fail(kOutOfRange);
  if (!table.records[record]) fail(kOutOfRange);  // an emptied slot
  return *(*table.records[record])[field];
}

void ReferenceModel::deleteRecord(ModelTable& table, int record) {
  if (record < 0 || record >= static_cast<int>(table.records.size())) fail(kOutOfRange);
  if (!table.records[record]) fail(kOutOfRange);
  beingDeleted.clear();
  cascade(table, record);
}

// Deletes the records that refer to this one, then the record itself. A record already being
// deleted further up is skipped, so reference cycles end; the child count is read again on
// every pass.
void ReferenceModel::cascade(ModelTable& table, int record) {
  const std::pair<int, int> key(table.index, record);
  beingDeleted.insert(key);
  try {
    for (size_t k = 0; k < table.childTables.size(); ++k) {
      size_t position = 0;
      while (true) {
        auto& lists = table.childLinks[k];
        if (record >= static_cast<int>(lists.size())) fail(kOutOfRange);
        if (position >= lists[record].size()) break;
        const int child = lists[record][position];
        ModelTable& childTable = tableByIndex(table.childTables[k]);
        if (child < 0 || child >= static_cast<int>(childTable.records.size()) ||
            !childTable.records[child]) {
          fail(kOutOfRange);
        }
        if (beingDeleted.count({childTable.index, child}) != 0) {
          ++position;
          continue;
        }
        cascade(childTable, child);
      }
    }
  } catch (const ModelFailure&) {
    beingDeleted.erase(key);
    throw;
  }
  beingDeleted.erase(key);
  linkRelations(table, *table.records[record], record, false);
  table.records[record].reset();
}

void ReferenceModel::clearAllRecords() {
  for (auto& table : database.tables) {
    if (!table) continue;
    table->records.clear();
    for (auto& lists : table->childLinks) {
      for (auto& list : lists) list.clear();
    }
  }
}

int ReferenceModel::createTable(const std::string& name) {
  if (!temporaryTable) fail(kNoTemporaryTable);
  auto table = std::make_unique<ModelTable>();
  table->definition = std::move(*temporaryTable);
  temporaryTable.reset();
  table->temporary = emptyRecord(table->definition);
  const int slot = static_cast<int>(database.tables.size());
  table->index = slot;
  ModelTable& stored = *table;
  database.tables.push_back(std::move(table));
  database.tableNames.add(slot, name);
  for (int field = 0; field < stored.definition.getFieldCount(); ++field) {
    if (stored.definition.types[field] != kRelation) continue;
    ModelTable& target = tableByName(stored.definition.relationTarget(field));
    target.childLinks.emplace_back(target.records.size());
    target.childTables.push_back(slot);
  }
  return slot;
}

int ReferenceModel::renumber(const std::string& tableName, int record) const {
  const int table = database.tableNames.indexOf(tableName);
  const ModelTable* target = database.tables[table].get();
  if (target == nullptr) fail(kOutOfRange);  // a deleted table has an empty map
  if (record < 0 || record >= static_cast<int>(target->records.size())) fail(kOutOfRange);
  int occupied = 0;
  for (int r = 0; r <= record; ++r) occupied += target->records[r] ? 1 : 0;
  return occupied - 1;
}

std::string ReferenceModel::buildDocument(bool withSchema) const {
  // A name that would become markup of its own is refused before anything is written.
  const auto unwritable = [](const std::string& name) {
    return name.empty() || name[0] == '!' || name[0] == '?' ||
           name.find_first_of("<>/") != std::string::npos;
  };
  for (size_t t = 0; t < database.tables.size(); ++t) {
    if (database.tables[t] == nullptr) continue;
    if (unwritable(database.tableNames.nameOf(static_cast<int>(t)))) fail(16);
    const ModelDefinition& definition = database.tables[t]->definition;
    for (int field = 0; field < definition.getFieldCount(); ++field) {
      if (unwritable(definition.names.nameOf(field))) fail(16);
    }
  }
  // With the schema: what it cannot carry is refused next (a name taken by a later table or
  // field, a type beyond the four, a relation without a target), then written in index order.
  std::string schema;
  for (size_t t = 0; t < database.tables.size() && withSchema; ++t) {
    if (database.tables[t] == nullptr) continue;
    const std::string& tableName = database.tableNames.nameOf(static_cast<int>(t));
    if (database.tableNames.indexOf(tableName) != static_cast<int>(t)) fail(16);
    const ModelDefinition& definition = database.tables[t]->definition;
    std::string fields;
    for (int field = 0; field < definition.getFieldCount(); ++field) {
      const std::string& fieldName = definition.names.nameOf(field);
      if (definition.names.indexOf(fieldName) != field) fail(16);
      static const char* const kTypeNames[] = {"Int", "String", "Long", "Relation"};
      const int type = definition.types[field];
      if (type < kInt || type > kRelation) fail(16);
      std::string content =
          element("name", escapeText(fieldName)) + "<type>" + kTypeNames[type] + "</type>";
      if (type == kRelation) {
        const auto target =
            std::find_if(definition.relationTargets.begin(), definition.relationTargets.end(),
                         [field](const auto& entry) { return entry.first == field; });
        if (target == definition.relationTargets.end()) fail(16);
        content += element("target", escapeText(target->second));
      }
      fields += element("field", content);
    }
    schema += element("table", element("name", escapeText(tableName)) + fields);
  }
  if (withSchema) schema = element("schema", schema);
  std::string data;
  for (size_t t = 0; t < database.tables.size(); ++t) {
    const ModelTable* table = database.tables[t].get();
    if (table == nullptr) continue;
    const std::string& tableName = database.tableNames.nameOf(static_cast<int>(t));
    const ModelDefinition& definition = table->definition;
    std::string records;
    for (const auto& record : table->records) {
      if (!record) continue;
      std::string fields;
      for (int field = 0; field < definition.getFieldCount(); ++field) {
        const std::string& fieldName = definition.names.nameOf(field);
        std::string text;
        switch (definition.types[field]) {
          case kInt:
          case kLong:
            text = std::to_string((*record)[field]->number);
            break;
          case kString:
            text = (*record)[field]->text;
            break;
          case kRelation:
            text = std::to_string(
                renumber(definition.relationTarget(field), (*record)[field]->number));
            break;
          default:  // a type that holds no values
            break;
        }
        fields += element(fieldName, escapeText(text));
      }
      records += element("record", fields);
    }
    data += element(tableName, records);
  }
  return std::string(kCreatedComment) + kDownloadComment + "<database><info><name>" +
         escapeText(database.name) + "</name><version>1</version>" + schema + "</info>" +
         element("data", data) + "</database>";
}

void ReferenceModel::applyDocument(const ModelNode& root) {
  const ModelNode& data = *root.children[1];
  if (data.name != "data") return;
  for (const auto& tableElement : data.children) {
    if (!tableElement->isElement) break;
    for (const auto& recordElement : tableElement->children) {
      if (!recordElement->isElement) continue;
      ModelTable& table = tableByName(tableElement->name);
      table.temporary = emptyRecord(table.definition);
      if (recordElement->name != "record") continue;
      for (const auto& fieldElement : recordElement->children) {
        if (!fieldElement->isElement) break;
        const int field = table.definition.names.indexOf(fieldElement->name);
        const ModelNode* first =
            fieldElement->children.empty() ? nullptr : fieldElement->children.front().get();
        const std::string text = first != nullptr && !first->isElement ? first->text : "";
        switch (table.definition.fieldType(field)) {
          case kInt:
            set(table, field, kInt, kNotInt, numberCell(parseNumber(text)));
            break;
          case kString:
            set(table, field, kString, kNotString, textCell(text));
            break;
          case kLong:
            set(table, field, kLong, kNotLong, numberCell(parseNumber(text)));
            break;
          case kRelation:
            set(table, field, kRelation, kNotRelation, numberCell(parseNumber(text)));
            break;
          default:
            break;
        }
      }
      addRecord(table, -1);
    }
  }
}

Outcome ReferenceModel::loadBytes(const std::string& bytes) {
  clearAllRecords();
  if (bytes.empty()) fail(kCannotRead);  // nothing to map
  ModelDocument document;
  try {
    document = readModelDocument(bytes);
  } catch (const ReadFailure&) {
    fail(kCannotRead);
  }
  Outcome outcome;
  if (document.topLevel.empty()) return outcome;
  const ModelNode& root = *document.topLevel.front();
  if (!root.isElement || root.name != "database" || root.children.size() < 2 ||
      !root.children[0]->isElement || !root.children[1]->isElement) {
    return outcome;
  }
  applyDocument(root);
  outcome.number = 1;
  return outcome;
}

// A file a save wrote: the tables its schema lists, created in order as CreateTable does, then
// its records as Load reads them; any failure puts everything back.
bool ReferenceModel::open(const std::string& bytes) {
  if (bytes.empty()) fail(kCannotRead);  // as Load
  ModelSchema schema;
  try {
    schema = readModelSchema(bytes);
    // Without a schema to act on, the whole file must still read, as Load reads it.
    if (!schema.isDatabase || !schema.hasSchema) readModelDocument(bytes);
  } catch (const ReadFailure&) {
    fail(kCannotRead);
  }
  if (!schema.isDatabase) return false;  // opens as nothing; the instance stays as it was
  if (!schema.hasSchema) fail(kNoSchema);
  ModelDatabase kept;
  kept.name = schema.databaseName;
  std::swap(database, kept);
  std::optional<ModelDefinition> keptTemporary = std::move(temporaryTable);
  const int keptCurrent = currentTable;
  currentTable = -1;
  bool loaded = false;
  try {
    for (const ModelSchemaTable& table : schema.tables) {
      temporaryTable = ModelDefinition();
      for (const ModelSchemaField& field : table.fields) {
        static const char* const kTypeNames[] = {"Int", "String", "Long", "Relation"};
        const int number = temporaryTable->getFieldCount();
        const int typeCode = static_cast<int>(
            std::find(std::begin(kTypeNames), std::end(kTypeNames), field.type) - kTypeNames);
        temporaryTable->types.push_back(typeCode);
        temporaryTable->names.add(number, field.name);
        if (typeCode == kRelation)
          temporaryTable->relationTargets.emplace_back(number, field.target);
      }
      try {
        createTable(table.name);
      } catch (const ModelFailure& failure) {
        if (failure.code != kNameNotFound) throw;  // the table stays, unlinked
      }
    }
    loaded = loadBytes(bytes).number != 0;
  } catch (const ModelFailure&) {
    std::swap(database, kept);
    temporaryTable = std::move(keptTemporary);
    currentTable = keptCurrent;
    throw;
  }
  if (!loaded) {
    std::swap(database, kept);
    temporaryTable = std::move(keptTemporary);
    currentTable = keptCurrent;
    return false;
  }
  temporaryTable.reset();
  return true;
}

bool ReferenceModel::load(int slot) {
  const std::optional<std::string> bytes = fileContent(slot);
  if (!bytes) {
    clearAllRecords();
    fail(kCannotRead);
  }
  return loadBytes(*bytes).number != 0;
}

Outcome ReferenceModel::apply(const Operation& op) {
  Outcome outcome;
  if (op.nullArgument != NullArgument::None) {
    outcome.result = kUnexpected;
    return outcome;
  }
  int32_t& number = outcome.number;
  try {
    switch (op.method) {
      case Method::CreateDatabase:
        database.name = op.s1;
        database.flag = op.a;
        break;
      case Method::CreateTemporaryTable:
        temporaryTable = ModelDefinition();
        break;
      case Method::AddField:
      case Method::AddRelationField: {
        if (!temporaryTable) fail(kNoTemporaryTable);
        number = temporaryTable->getFieldCount();
        const bool relation = op.method == Method::AddRelationField;
        temporaryTable->types.push_back(relation ? kRelation : op.a);
        temporaryTable->names.add(number, op.s1);
        if (relation) temporaryTable->relationTargets.emplace_back(number, op.s2);
        break;
      }
      case Method::CreateTable:
        number = createTable(op.s1);
        break;
      case Method::ChooseTableAt:
      case Method::ChooseTable: {
        ModelTable& table =
            op.method == Method::ChooseTable ? tableByName(op.s1) : tableByIndex(op.a);
        currentTable = table.index;
        table.temporary = emptyRecord(table.definition);
        break;
      }
      case Method::SetStringAt:
        setAt(op.a, kString, kNotString, textCell(op.s1));
        break;
      case Method::SetIntAt:
        setAt(op.a, kInt, kNotInt, numberCell(op.b));
        break;
      case Method::SetLongAt:
        setAt(op.a, kLong, kNotLong, numberCell(op.b));
        break;
      case Method::SetRelationAt:
        setAt(op.a, kRelation, kNotRelation, numberCell(op.b));
        break;
      case Method::SetString:
        setByName(op.s1, kString, kNotString, textCell(op.s2));
        break;
      case Method::SetLong:
        setByName(op.s1, kLong, kNotLong, numberCell(op.a));
        break;
      case Method::SetInt:
        setByName(op.s1, kInt, kNotInt, numberCell(op.a));
        break;
      case Method::SetRelation:
        setByName(op.s1, kRelation, kNotRelation, numberCell(op.a));
        break;
      case Method::AddRecord:
        number = addRecord(current(), op.a);
        break;
      case Method::RecordExistsAt:
      case Method::RecordExists: {
        const ModelTable& table =
            op.method == Method::RecordExists ? tableByName(op.s1) : tableByIndex(op.a);
        const int record = op.method == Method::RecordExists ? op.a : op.b;
        number = record >= 0 && record < static_cast<int>(table.records.size()) &&
                 table.records[record].has_value();
        break;
      }
      case Method::GetRecordCountAt:
        number = static_cast<int32_t>(tableByIndex(op.a).records.size());
        break;
      case Method::GetRecordCount:
        number = static_cast<int32_t>(tableByName(op.s1).records.size());
        break;
      case Method::DeleteRecordAt:
        deleteRecord(tableByIndex(op.a), op.b);
        break;
      case Method::DeleteRecord:
        deleteRecord(tableByName(op.s1), op.a);
        break;
      case Method::GetFieldTypeAt:
      case Method::GetFieldType: {
        const ModelTable& table =
            op.method == Method::GetFieldType ? tableByName(op.s1) : tableByIndex(op.a);
        const std::string& field = op.method == Method::GetFieldType ? op.s2 : op.s1;
        number = table.definition.fieldType(table.definition.names.indexOf(field));
        break;
      }
      case Method::GetRelationTargetAt:
        outcome.text = tableByIndex(op.a).definition.relationTarget(op.b);
        break;
      case Method::GetRelationTarget:
        outcome.text = tableByName(op.s1).definition.relationTarget(op.a);
        break;
      case Method::GetFieldIndexAt:
        number = tableByIndex(op.a).definition.names.indexOf(op.s1);
        break;
      case Method::GetFieldIndex:
        number = tableByName(op.s1).definition.names.indexOf(op.s2);
        break;
      case Method::GetFieldNameAt:
        outcome.text = tableByIndex(op.a).definition.names.nameOf(op.b);
        break;
      case Method::GetFieldName:
        outcome.text = tableByName(op.s1).definition.names.nameOf(op.a);
        break;
      case Method::GetFieldCountAt:
        number = tableByIndex(op.a).definition.getFieldCount();
        break;
      case Method::GetFieldCount:
        number = tableByName(op.s1).definition.getFieldCount();
        break;
      case Method::GetIntAt:
      case Method::GetLongAt:
      case Method::GetStringAt:
      case Method::GetRelationAt:
      case Method::GetInt:
      case Method::GetLong:
      case Method::GetString:
      case Method::GetRelation: {
        const bool byName = op.method == Method::GetInt || op.method == Method::GetLong ||
                            op.method == Method::GetString || op.method == Method::GetRelation;
        const ModelTable& table = byName ? tableByName(op.s1) : tableByIndex(op.a);
        const int record = byName ? op.a : op.b;
        const int field = byName ? table.definition.names.indexOf(op.s2) : op.c;
        int type = kInt;
        int code = kNotInt;
        if (op.method == Method::GetLong || op.method == Method::GetLongAt) {
          type = kLong;
          code = kNotLong;
        } else if (op.method == Method::GetString || op.method == Method::GetStringAt) {
          type = kString;
          code = kNotString;
        } else if (op.method == Method::GetRelation || op.method == Method::GetRelationAt) {
          type = kRelation;
          code = kNotRelation;
        }
        const ModelCell& cell = storedValue(table, record, field, type, code);
        number = cell.number;
        outcome.text = cell.text;
        break;
      }
      case Method::GetChildCountAt:
        number = static_cast<int32_t>(childList(tableByIndex(op.a), op.b, op.c).size());
        break;
      case Method::GetChildCount: {
        ModelTable& table = tableByName(op.s1);
        number =
            static_cast<int32_t>(childList(table, op.a, database.tableNames.indexOf(op.s2)).size());
        break;
      }
      case Method::GetChildAt:
      case Method::GetChild: {
        const bool byName = op.method == Method::GetChild;
        ModelTable& table = byName ? tableByName(op.s1) : tableByIndex(op.a);
        const int record = byName ? op.a : op.b;
        const int childTable = byName ? database.tableNames.indexOf(op.s2) : op.c;
        const int position = byName ? op.b : op.d;
        const std::vector<int>& list = childList(table, record, childTable);
        if (position < 0) fail(kOutOfRange);
        if (position >= static_cast<int>(list.size())) fail(kChildOutOfRange);
        number = list[position];
        break;
      }
      case Method::Load:
        number = load(op.a) ? 1 : 0;
        break;
      case Method::Save:
      case Method::SaveWithSchema: {
        std::string document = buildDocument(op.method == Method::SaveWithSchema);
        if (!fileSlotIsOrdinary(op.a)) fail(kCannotWrite);
        files[op.a] = std::move(document);
        number = 1;
        break;
      }
      case Method::ClearAllRecords:
        clearAllRecords();
        break;
      case Method::TableExists:
        number = op.a >= 0 && op.a < static_cast<int>(database.tables.size()) &&
                 database.tables[op.a] != nullptr;
        break;
      case Method::GetTableIndex:
        number = database.tableNames.indexOf(op.s1);
        break;
      case Method::GetTableName:
        outcome.text = database.tableNames.nameOf(op.a);
        break;
      case Method::DeleteTable:
        tableByIndex(op.a);
        if (currentTable == op.a) currentTable = -1;
        database.tables[op.a].reset();
        break;
      case Method::GetTableCount:
        number = static_cast<int32_t>(database.tables.size());
        break;
      case Method::FindString:
      case Method::FindInt: {
        const ModelTable& table = tableByName(op.s1);
        const int field = table.definition.names.indexOf(op.s2);
        const int type = table.definition.fieldType(field);
        const bool byText = op.method == Method::FindString;
        if (byText && type != kString) fail(kNotString);
        if (!byText && type != kInt && type != kLong && type != kRelation) fail(kNotInt);
        if (op.b < 0) fail(kOutOfRange);
        number = -1;
        for (size_t r = static_cast<size_t>(op.b); r < table.records.size() && number < 0; ++r) {
          if (!table.records[r]) continue;
          const ModelCell& cell = *(*table.records[r])[field];
          if (byText ? cell.text == findValue(op.a) : cell.number == op.a) {
            number = static_cast<int32_t>(r);
          }
        }
        break;
      }
      case Method::GetDatabaseName:
        outcome.text = database.name;
        break;
      case Method::Open: {
        const std::optional<std::string> bytes = fileContent(op.a);
        if (!bytes) fail(kCannotRead);
        number = open(*bytes) ? 1 : 0;
        break;
      }
      case Method::TruncateFile:
      case Method::PatchFile: {
        const std::optional<std::string> source =
            fileSlotIsOrdinary(op.a) ? fileContent(op.a) : std::nullopt;
        if (!source) {
          files.erase(kScratchFileSlot);
          break;
        }
        std::string bytes = *source;
        if (op.method == Method::TruncateFile) {
          bytes.resize(std::min(bytes.size(), static_cast<size_t>(std::max(op.b, 0))));
        } else if (!bytes.empty()) {
          bytes[static_cast<uint32_t>(op.b) % bytes.size()] = static_cast<char>(op.c & 0xFF);
        }
        files[kScratchFileSlot] = bytes;
        break;
      }
    }
  } catch (const ModelFailure& failure) {
    Outcome failed;
    failed.result = resultFor(failure.code);
    return failed;
  }
  return outcome;
}

}  // namespace velmora
