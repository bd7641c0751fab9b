#include "engine/Table.h"

#include <assert.h>
#include <limits.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "engine/Database.h"

namespace velmora {

namespace {

// A record rarely has more than a few relation fields: their lists are kept without a heap
// allocation up to this many.
constexpr size_t kInlineLinks = 8;

// The definition, frozen from here on: its type array is trimmed to fit.
std::unique_ptr<TableDefinition> frozen(std::unique_ptr<TableDefinition> definition) {
  definition->shrinkToFit();
  return definition;
}

}  // namespace

Table::Table(std::unique_ptr<TableDefinition> tableDefinition)
    : childTables(1),
      childLinks(1),
      definition(frozen(std::move(tableDefinition))),
      records(*definition, 5) {
  for (int i = 0; i < definition->getFieldCount(); ++i) {
    if (definition->fieldType(i) == FieldType::Relation) relationFields.push_back(i);
  }
  createTemporaryRecord();
}

// A temporary record that exists is cleared in place: the same as a new one, without a new
// allocation each time a table is chosen.
void Table::createTemporaryRecord() {
  if (temporaryRecord) {
    temporaryRecord->reset(records.getLayout());
  } else {
    temporaryRecord = records.create();
  }
}

int Table::settableOffset(int field, int type, const ErrorRow& wrongType) const {
  if (definition->fieldType(field) != type) throwError(wrongType);
  if (!temporaryRecord) throwError(kNoTemporaryRecord);
  return records.getLayout().offsetOf(field);
}

void Table::setInt(int field, int value) {
  const int offset = settableOffset(field, FieldType::Int, kNotIntField);
  temporaryRecord->value<IntValue>(offset).setValue(value);
}

void Table::setLong(int field, int value) {
  const int offset = settableOffset(field, FieldType::Long, kNotLongField);
  temporaryRecord->value<LongValue>(offset).setValue(value);
}

void Table::setString(int field, std::string_view value) {
  const int offset = settableOffset(field, FieldType::String, kNotStringField);
  temporaryRecord->value<StringValue>(offset).setText(value);
}

void Table::setRelation(int field, int value) {
  const int offset = settableOffset(field, FieldType::Relation, kNotRelationField);
  temporaryRecord->value<RelationValue>(offset).setValue(value);
}

// Unset fields need no defaults filled in: a record is made with every value at its default.
int Table::addRecord(int position) {
  if (!temporaryRecord) throwError(kNoTemporaryRecord);

  // All the memory is had before anything changes: a failed allocation leaves the table as it
  // was, with its temporary record. Every child table gets a list for a new slot, so the
  // one-list-per-slot invariant holds even when linking below fails; a list left at the slot by
  // clearRecords is used again, so clearing and refilling a table keeps its memory flat (#10).
  // The new slot's lists come first: they may move this table's lists, and a record of a table
  // related to itself may name its own slot.
  const bool replaces = position >= 0 && position < records.getCount();
  const int slot = replaces ? position : records.getCount();
  int parents[kInlineLinks];  // deferring takes no more relation fields
  const bool defers = deferring && !replaces && canDefer(parents);
  if (deferring && !defers) linkNoted();
  if (!replaces) {
    for (int k = 0; k < childLinks.getCount(); ++k) {
      if (childLinks.at(k)->getCount() <= slot) childLinks.at(k)->reserve(1);
    }
    records.reserve(1);
    if (defers && notedParents.size() + relationFields.size() > notedParents.capacity()) {
      notedParents.reserve(
          std::max(notedParents.size() + relationFields.size(), notedParents.capacity() * 2));
    }
    for (int k = 0; k < childLinks.getCount(); ++k) {
      if (childLinks.at(k)->getCount() <= slot) childLinks.at(k)->append();
    }
  }
  if (defers) {
    if (notedParents.empty()) firstNotedSlot = slot;
    for (size_t k = 0; k < relationFields.size(); ++k) notedParents.push_back(parents[k]);
    records.append(std::move(temporaryRecord));
    return slot;
  }

  // Room in every list the record will be linked into; a list that cannot be found is reported
  // by the linking itself, in its turn. A record rarely has more than a few relation fields, so
  // their lists are kept without a heap allocation.
  ChildList* inlineLists[kInlineLinks];
  std::vector<ChildList*> manyLists;
  ChildList** linkLists = inlineLists;
  try {
    if (relationFields.size() > kInlineLinks) {
      manyLists.resize(relationFields.size());
      linkLists = manyLists.data();
    }
    if (!relationFields.empty()) reserveLinks(*temporaryRecord, linkLists);
  } catch (...) {
    if (!replaces) {  // the lists just added for the slot go again
      for (int k = 0; k < childLinks.getCount(); ++k) {
        if (childLinks.at(k)->getCount() == slot + 1) childLinks.at(k)->truncate(slot);
      }
    }
    throw;
  }

  const Record& stored = *temporaryRecord;
  if (replaces) {
    if (const Record* old = records.at(slot)) linkRelations(*old, slot, false);
    records.set(slot, std::move(temporaryRecord));
  } else {
    records.append(std::move(temporaryRecord));
  }
  if (!relationFields.empty()) linkReserved(stored, slot, linkLists);
  return slot;
}

// The list a relation field's value names, from the registration resolved for the current
// table generation; null when the parent slot is not there or the target cannot be resolved.
inline ChildList* Table::linkList(const Record& record, size_t k) const {
  ChildTableLinks* const links = relationTargetLinks[k];
  const int parent = record.getNumber(records.getLayout().offsetOf(relationFields[k]));
  return links != nullptr && parent >= 0 && parent < links->getCount() ? &links->at(parent)
                                                                       : nullptr;
}

void Table::reserveLinks(const Record& record, ChildList** lists) {
  const size_t count = relationFields.size();
  if (ownerDatabase != nullptr) refreshRelationTargets();
  for (size_t k = 0; k < count; ++k) {
    lists[k] = ownerDatabase != nullptr ? linkList(record, k) : nullptr;
  }
  // A list named by several fields gets room for all of their links; counted directly for a
  // few fields, on a sorted copy for many.
  if (count == 1) {
    if (lists[0] != nullptr) lists[0]->reserve(1);
    return;
  }
  if (count <= kInlineLinks) {
    for (size_t k = 0; k < count; ++k) {
      if (lists[k] != nullptr) {
        lists[k]->reserve(static_cast<int>(std::count(lists, lists + count, lists[k])));
      }
    }
    return;
  }
  std::vector<ChildList*> sorted(lists, lists + count);
  std::sort(sorted.begin(), sorted.end(), std::less<ChildList*>());
  for (size_t first = 0; first < count;) {
    size_t end = first;
    while (end < count && sorted[end] == sorted[first]) ++end;
    if (sorted[first] != nullptr) sorted[first]->reserve(static_cast<int>(end - first));
    first = end;
  }
}

// A field whose list was not found links the slow way, which reports why.
void Table::linkReserved(const Record& record, int slot, ChildList* const* lists) {
  for (size_t k = 0; k < relationFields.size(); ++k) {
    if (lists[k] != nullptr) {
      lists[k]->append(slot);
    } else {
      const int parent = record.getNumber(records.getLayout().offsetOf(relationFields[k]));
      relationTargetTable(k).linkChild(parent, index, slot);
    }
  }
}

void Table::deferLinks() {
  deferring = !relationFields.empty() && relationFields.size() <= kInlineLinks;
}

bool Table::canDefer(int* parents) const {
  if (ownerDatabase == nullptr) return false;
  refreshRelationTargets();
  const RecordLayout& layout = records.getLayout();
  const int slot = records.getCount();
  for (size_t k = 0; k < relationFields.size(); ++k) {
    const ChildTableLinks* const links = relationTargetLinks[k];
    const int parent = temporaryRecord->getNumber(layout.offsetOf(relationFields[k]));
    // A record of a table related to itself may name its own slot, whose list comes with it.
    const bool listThere =
        links != nullptr && parent >= 0 &&
        (parent < links->getCount() ||
         (relationTargets[k] == this && parent == slot && links->getCount() == slot));
    if (!listThere) return false;
    parents[k] = parent;
  }
  return true;
}

void Table::linkDeferred() {
  linkNoted();
  deferring = false;
  std::vector<int>().swap(notedParents);
}

// Counting sort's first half: how many links each list gets, so that every list grows once,
// and all of that before the first link is made. The lists were all found when their records
// were noted and lists are never removed while records are noted, so they are all there.
void Table::linkNoted() {
  if (notedParents.empty()) return;
  refreshRelationTargets();
  for (ChildTableLinks* links : relationTargetLinks) {
    if (links == nullptr) throwError(kIndexOutOfRange);  // a target went: the caller clears
  }
  const size_t fields = relationFields.size();
  const size_t noted = notedParents.size() / fields;
  std::vector<int> counts;
  for (size_t k = 0; k < fields; ++k) {
    ChildTableLinks& links = *relationTargetLinks[k];
    if (std::find(relationTargetLinks.begin(), relationTargetLinks.begin() + k, &links) !=
        relationTargetLinks.begin() + k) {
      continue;  // counted with the first field naming the same lists
    }
    // Counted over the parents named, not all of them: a few noted records cost little.
    int lowest = INT_MAX;
    int highest = -1;
    for (size_t j = k; j < fields; ++j) {
      if (relationTargetLinks[j] != &links) continue;
      for (size_t r = 0; r < noted; ++r) {
        lowest = std::min(lowest, notedParents[r * fields + j]);
        highest = std::max(highest, notedParents[r * fields + j]);
      }
    }
    counts.assign(static_cast<size_t>(highest - lowest + 1), 0);
    for (size_t j = k; j < fields; ++j) {
      if (relationTargetLinks[j] != &links) continue;
      for (size_t r = 0; r < noted; ++r) {
        ++counts[static_cast<size_t>(notedParents[r * fields + j] - lowest)];
      }
    }
    for (size_t at = 0; at < counts.size(); ++at) {
      if (counts[at] > 0) links.at(lowest + static_cast<int>(at)).reserve(counts[at]);
    }
  }
  for (size_t r = 0; r < noted; ++r) {
    const int slot = firstNotedSlot + static_cast<int>(r);
    for (size_t k = 0; k < fields; ++k) {
      relationTargetLinks[k]->at(notedParents[r * fields + k]).append(slot);
    }
  }
  notedParents.clear();
}

void Table::linkRelations(const Record& record, int slot, bool link) {
  const RecordLayout& layout = records.getLayout();
  for (size_t k = 0; k < relationFields.size(); ++k) {
    Table& target = relationTargetTable(k);
    const int parent = record.getNumber(layout.offsetOf(relationFields[k]));
    if (link) {
      target.linkChild(parent, index, slot);
    } else {
      target.unlinkChild(parent, index, slot);
    }
  }
}

// Every record added links through here, so the targets are resolved by name once per change
// of the database's tables, not once per record.
Table& Table::relationTargetTable(size_t k) const {
  if (ownerDatabase == nullptr) throwError(kNameNotFound);
  refreshRelationTargets();
  Table* const target = relationTargets[k];
  return target != nullptr ? *target : lookUpRelationTarget(k);
}

// A registration lives as long as its table and tables are only added or emptied, each of
// which moves the generation on: what was found for one generation holds until the next.
void Table::refreshRelationTargets() const {
  const unsigned long long generation = ownerDatabase->getTableGeneration();
  if (targetsGeneration != generation) resolveRelationTargets(generation);
}

void Table::resolveRelationTargets(unsigned long long generation) const {
  relationTargets.assign(relationFields.size(), nullptr);
  relationTargetLinks.assign(relationFields.size(), nullptr);
  for (size_t j = 0; j < relationFields.size(); ++j) {
    try {
      Table& target = lookUpRelationTarget(j);
      relationTargets[j] = &target;
      relationTargetLinks[j] = target.childLinks.at(target.findChildTable(index));
    } catch (const Win::Exception&) {  // left null: looked up again, to throw, when used
    }
  }
  targetsGeneration = generation;
}

Table& Table::lookUpRelationTarget(size_t k) const {
  return ownerDatabase->tableByName(definition->relationTarget(relationFields[k]));
}

const Record& Table::storedRecord(int record) const {
  const Record* stored = records.at(record);
  if (stored == nullptr) throwError(kIndexOutOfRange);  // an emptied slot
  return *stored;
}

Table::StoredValue Table::storedValue(int record, int field, int type,
                                      const ErrorRow& wrongType) const {
  if (definition->fieldType(field) != type) throwError(wrongType);
  return StoredValue{storedRecord(record), records.getLayout().offsetOf(field)};
}

int Table::getInt(int record, int field) const {
  const StoredValue value = storedValue(record, field, FieldType::Int, kNotIntField);
  return value.record.value<IntValue>(value.offset).getValue();
}

int Table::getLong(int record, int field) const {
  const StoredValue value = storedValue(record, field, FieldType::Long, kNotLongField);
  return value.record.value<LongValue>(value.offset).getValue();
}

std::string_view Table::getString(int record, int field) const {
  const StoredValue value = storedValue(record, field, FieldType::String, kNotStringField);
  return value.record.value<StringValue>(value.offset).getText();
}

int Table::getRelation(int record, int field) const {
  const StoredValue value = storedValue(record, field, FieldType::Relation, kNotRelationField);
  return value.record.value<RelationValue>(value.offset).getValue();
}

void Table::clearRecords() {
  records.clear();
  deferring = false;
  std::vector<int>().swap(notedParents);
  for (int k = 0; k < childLinks.getCount(); ++k) {
    ChildTableLinks& lists = *childLinks.at(k);
    for (int q = 0; q < lists.getCount(); ++q) lists.at(q).clear();
  }
}

std::unique_ptr<ChildTableLinks> Table::newChildTableLinks() const {
  auto links = std::make_unique<ChildTableLinks>();
  links->reserve(records.getCount());
  for (int q = 0; q < records.getCount(); ++q) links->append();
  return links;
}

void Table::reserveChildTables(int count) {
  childLinks.reserve(count);
  childTables.reserve(count);
}

void Table::addChildTable(int childTable, std::unique_ptr<ChildTableLinks> links) {
  assert(childTables.getCount() == 0 || childTables.at(childTables.getCount() - 1) <= childTable);
  childLinks.append(std::move(links));
  childTables.append(childTable);
}

// Child tables register in the order they are added, and table slots only grow, so the list is
// sorted (a table with two relation fields naming this one is listed twice in a row): a binary
// search finds the first registration however many child tables there are.
int Table::findChildTable(int childTable) const {
  int low = 0;
  int high = childTables.getCount();
  while (low < high) {
    const int middle = low + (high - low) / 2;
    if (childTables.at(middle) < childTable) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  if (low == childTables.getCount() || childTables.at(low) != childTable) {
    throwError(kChildTableNotFound);
  }
  return low;
}

const ChildList& Table::childList(int parentRecord, int childTable) const {
  return childLinks.at(findChildTable(childTable))->at(parentRecord);
}

ChildList& Table::childList(int parentRecord, int childTable) {
  return childLinks.at(findChildTable(childTable))->at(parentRecord);
}

void Table::linkChild(int parentRecord, int childTable, int childRecord) {
  childList(parentRecord, childTable).append(childRecord);
}

void Table::unlinkChild(int parentRecord, int childTable, int childRecord) {
  childList(parentRecord, childTable).removeFirst(childRecord);
}

int Table::getChildCount(int parentRecord, int childTable) const {
  return childList(parentRecord, childTable).getCount();
}

int Table::getChildCount(int parentRecord, std::string_view childTable) const {
  return getChildCount(parentRecord, ownerDatabase->tableIndex(childTable));
}

int Table::childRecord(int parentRecord, int childTable, int position) const {
  const ChildList& list = childList(parentRecord, childTable);
  if (position < 0) throwError(kIndexOutOfRange);
  if (position >= list.getCount()) throwError(kChildIndexOutOfRange);
  return list.at(position);
}

int Table::childRecord(int parentRecord, std::string_view childTable, int position) const {
  return childRecord(parentRecord, ownerDatabase->tableIndex(childTable), position);
}

Table::LoadState Table::takeLoadState() {
  LoadState state{std::move(temporaryRecord), {}};
  for (int k = 0; k < childLinks.getCount(); ++k) {
    state.childListCounts.push_back(childLinks.at(k)->getCount());
  }
  return state;
}

void Table::restoreLoadState(LoadState state) {
  temporaryRecord = std::move(state.temporaryRecord);
  for (size_t k = 0; k < state.childListCounts.size(); ++k) {
    childLinks.at(static_cast<int>(k))->truncate(state.childListCounts[k]);
  }
}

void Table::unlinkAndDestroy(int record) {
  linkRelations(storedRecord(record), record, false);
  records.set(record, OwnedRecord(nullptr, RecordDiscard{&records}));
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
        const ChildList& list = parent.childLinks.at(top.registryPosition)->at(top.record);
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

}  // namespace velmora
