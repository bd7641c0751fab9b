#include "engine/Table.h"

#include <utility>
#include <vector>

#include "engine/Database.h"

Table::Table(std::unique_ptr<TableDefinition> tableDefinition)
    : childTables(1), childLinks(1), records(5), definition(std::move(tableDefinition)) {
  definition->shrinkToFit();
  createTemporaryRecord();
}

void Table::createTemporaryRecord() {
  temporaryRecord = std::make_unique<Record>(definition->fieldCount());
}

template <typename Value, typename Argument>
void Table::setValue(int field, int type, const ErrorRow& wrongType, Argument&& argument) {
  if (definition->fieldType(field) != type) throwError(wrongType);
  auto value = std::make_unique<Value>(std::forward<Argument>(argument));
  if (temporaryRecord == nullptr) throwError(kNoTemporaryRecord);
  temporaryRecord->store(field, std::move(value));
}

void Table::setInt(int field, int value) {
  setValue<IntValue>(field, FieldType::Int, kNotIntField, value);
}

void Table::setLong(int field, int value) {
  setValue<LongValue>(field, FieldType::Long, kNotLongField, value);
}

void Table::setString(int field, const std::string& value) {
  setValue<StringValue>(field, FieldType::String, kNotStringField, value);
}

void Table::setRelation(int field, int value) {
  setValue<RelationValue>(field, FieldType::Relation, kNotRelationField, value);
}

int Table::addRecord(int position) {
  if (temporaryRecord == nullptr) throwError(kNoTemporaryRecord);

  const int fields = definition->fieldCount();
  for (int i = 0; i < fields; ++i) {
    if (temporaryRecord->value(i) != nullptr) continue;
    switch (definition->fieldType(i)) {
      case FieldType::Int:
        setInt(i, 0);
        break;
      case FieldType::String:
        setString(i, std::string());
        break;
      case FieldType::Long:
        setLong(i, 0);
        break;
      case FieldType::Relation:
        setRelation(i, 0);
        break;
      default:  // an unknown type code keeps an empty slot
        break;
    }
  }

  const bool replaces = position >= 0 && position < records.getCount();
  if (replaces) {
    if (const Record* old = records.at(position)) linkRelations(*old, position, false);
  }

  int slot;
  if (replaces) {
    slot = position;
    records.set(slot, std::move(temporaryRecord));
  } else {
    slot = records.getCount();
    // Every child table gets a list for the new slot before anything can fail, so the
    // one-list-per-slot invariant holds even when linking below fails.
    for (int k = 0; k < childLinks.getCount(); ++k) {
      childLinks.at(k)->getLists().append(std::make_unique<ChildList>());
    }
    records.append(std::move(temporaryRecord));
  }
  linkRelations(*records.at(slot), slot, true);
  return slot;
}

void Table::linkRelations(const Record& record, int slot, bool link) {
  const int fields = definition->fieldCount();
  for (int i = 0; i < fields; ++i) {
    if (definition->fieldType(i) != FieldType::Relation) continue;
    Table& target = relationTargetTable(i);
    const FieldValue* value = record.value(i);
    const int parent = value ? static_cast<const RelationValue*>(value)->getValue() : 0;
    if (link) {
      target.linkChild(parent, index, slot);
    } else {
      target.unlinkChild(parent, index, slot);
    }
  }
}

Table& Table::relationTargetTable(int field) const {
  const std::string& targetName = definition->relationTarget(field);
  if (ownerDatabase == nullptr) throwError(kNameNotFound);
  return ownerDatabase->tableByName(targetName);
}

const Record& Table::storedRecord(int record) const {
  const Record* stored = records.at(record);
  if (stored == nullptr) throwError(kIndexOutOfRange);  // an emptied slot
  return *stored;
}

const FieldValue& Table::storedValue(int record, int field, int type,
                                     const ErrorRow& wrongType) const {
  if (definition->fieldType(field) != type) throwError(wrongType);
  const FieldValue* value = storedRecord(record).value(field);
  if (value == nullptr) throwError(kIndexOutOfRange);  // not reachable for stored records
  return *value;
}

int Table::getInt(int record, int field) const {
  return static_cast<const IntValue&>(storedValue(record, field, FieldType::Int, kNotIntField))
      .getValue();
}

int Table::getLong(int record, int field) const {
  return static_cast<const LongValue&>(storedValue(record, field, FieldType::Long, kNotLongField))
      .getValue();
}

const std::string& Table::getString(int record, int field) const {
  return static_cast<const StringValue&>(
             storedValue(record, field, FieldType::String, kNotStringField))
      .getText();
}

int Table::getRelation(int record, int field) const {
  return static_cast<const RelationValue&>(
             storedValue(record, field, FieldType::Relation, kNotRelationField))
      .getValue();
}

void Table::clearRecords() {
  records.clear();
  for (int k = 0; k < childLinks.getCount(); ++k) {
    OwnedArray<ChildList>& lists = childLinks.at(k)->getLists();
    for (int q = 0; q < lists.getCount(); ++q) lists.at(q)->clear();
  }
}

void Table::addChildTable(int childTable) {
  auto links = std::make_unique<ChildTableLinks>();
  for (int q = 0; q < records.getCount(); ++q) {
    links->getLists().append(std::make_unique<ChildList>());
  }
  childLinks.append(std::move(links));
  childTables.append(childTable);
}

int Table::findChildTable(int childTable) const {
  const int position = childTables.find(childTable);
  if (position < 0) throwError(kChildTableNotFound);
  return position;
}

const ChildList& Table::childList(int parentRecord, int childTable) const {
  return *childLinks.at(findChildTable(childTable))->getLists().at(parentRecord);
}

ChildList& Table::childList(int parentRecord, int childTable) {
  return *childLinks.at(findChildTable(childTable))->getLists().at(parentRecord);
}

void Table::linkChild(int parentRecord, int childTable, int childRecord) {
  childList(parentRecord, childTable).append(childRecord);
}

void Table::unlinkChild(int parentRecord, int childTable, int childRecord) {
  childList(parentRecord, childTable).removeFirst(childRecord);
}

int Table::childCount(int parentRecord, int childTable) const {
  return childList(parentRecord, childTable).getCount();
}

int Table::childCount(int parentRecord, const std::string& childTable) const {
  return childCount(parentRecord, ownerDatabase->tableIndex(childTable));
}

int Table::childRecord(int parentRecord, int childTable, int position) const {
  const ChildList& list = childList(parentRecord, childTable);
  if (position < 0) throwError(kIndexOutOfRange);
  if (position >= list.getCount()) throwError(kChildIndexOutOfRange);
  return list.at(position);
}

int Table::childRecord(int parentRecord, const std::string& childTable, int position) const {
  return childRecord(parentRecord, ownerDatabase->tableIndex(childTable), position);
}

void Table::unlinkAndDestroy(int record) {
  linkRelations(storedRecord(record), record, false);
  records.set(record, nullptr);
}

// The cascading delete as a loop over an explicit stack, so a long chain of references costs
// heap, not stack frames. Each entry is one record with how far its children have been walked;
// a record is destroyed once all its child records are gone.
class CascadeDelete {
 public:
  ~CascadeDelete() {  // a failure unwinds: clear the marks of what is left
    for (const Pending& entry : stack) {
      if (entry.table->recordExists(entry.record)) mark(entry, false);
    }
  }

  void run(Table& table, int record) {
    table.storedRecord(record);  // code 14 for an empty slot or one outside the slots
    push(table, record);
    while (!stack.empty()) {
      Pending& top = stack.back();
      Table& parent = *top.table;
      if (top.registryPosition < parent.childTables.getCount()) {
        // The count is read again on every pass: a child listed twice is gone after one deletion.
        const ChildList& list =
            *parent.childLinks.at(top.registryPosition)->getLists().at(top.record);
        if (top.childPosition >= list.getCount()) {
          ++top.registryPosition;
          top.childPosition = 0;
          continue;
        }
        const int child = list.at(top.childPosition);
        Table& childTable =
            parent.ownerDatabase->tableByIndex(parent.childTables.at(top.registryPosition));
        if (childTable.storedRecord(child).isBeingDeleted()) {
          ++top.childPosition;  // a reference cycle: that record is already on its way out
          continue;
        }
        push(childTable, child);
        continue;
      }
      const Pending done = top;
      mark(done, false);
      stack.pop_back();
      done.table->unlinkAndDestroy(done.record);
    }
  }

 private:
  struct Pending {
    Table* table;
    int record;
    int registryPosition;
    int childPosition;
  };

  void push(Table& table, int record) {
    stack.push_back({&table, record, 0, 0});
    mark(stack.back(), true);
  }
  static void mark(const Pending& entry, bool state) {
    entry.table->records.at(entry.record)->markBeingDeleted(state);
  }

  std::vector<Pending> stack;
};

void Table::deleteRecord(int record) { CascadeDelete().run(*this, record); }
