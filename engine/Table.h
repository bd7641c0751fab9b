// Table: one table's definition, record slots, temporary record and child-table registry.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ChildList.h"
#include "engine/FieldValue.h"
#include "engine/IntArray.h"
#include "engine/OwnedArray.h"
#include "engine/RecordStore.h"
#include "engine/TableDefinition.h"

namespace velmora {

class Database;

// Owns its definition, records, temporary record and child links; refers to its database
// without owning it. Record indices are slots: deleting empties a slot and the count never goes
// down (only clearRecords resets it). Every check runs in a fixed order and the first failing
// one decides the code. Not thread-safe.
class Table {
 public:
  // Takes the definition (the caller's pointer is null from the call on) and makes the first
  // temporary record.
  explicit Table(std::unique_ptr<TableDefinition> tableDefinition);
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  const TableDefinition& getDefinition() const { return *definition; }
  Database* getOwnerDatabase() const { return ownerDatabase; }
  int getIndex() const { return index; }
  // Called by Database::addTable when the table is stored.
  void attach(Database* database, int slot) {
    ownerDatabase = database;
    index = slot;
    targetsGeneration = 0;
  }

  // A fresh temporary record with every field unset replaces the old one.
  void createTemporaryRecord();
  bool hasTemporaryRecord() const { return temporaryRecord != nullptr; }

  // Setters, by field index or name. Codes in order: 1 (unknown name), 14 (field out of range),
  // the type's code (9 Int, 10 String, 8 Long, 6 Relation), 11 (no temporary record).
  void setInt(int field, int value);
  void setLong(int field, int value);
  void setString(int field, std::string_view value);
  void setRelation(int field, int value);
  void setInt(std::string_view field, int value) {
    setInt(getDefinition().fieldIndex(field), value);
  }
  void setLong(std::string_view field, int value) {
    setLong(getDefinition().fieldIndex(field), value);
  }
  void setString(std::string_view field, std::string_view value) {
    setString(getDefinition().fieldIndex(field), value);
  }
  void setRelation(std::string_view field, int value) {
    setRelation(getDefinition().fieldIndex(field), value);
  }

  // Stores the temporary record: position -1 or outside the slots appends, a position inside
  // replaces. Unset fields get their type's default, relation links are made. Returns the slot.
  // Code 11 without a temporary record; 14 (and others) from the links, see the .cpp.
  int addRecord(int position);

  // Adding many records at once, as a load does: from deferLinks on, a record appended whose
  // links all find their lists is stored without being linked, its parents noted, and
  // linkDeferred then links every noted record, room in each list first, in the order the
  // records were added: the lists end as addRecord would have left them, each grown once, and
  // linking no longer competes with reading for the caches. A record that cannot be deferred
  // (a replacement, a link that fails, many relation fields) has the noted ones linked first.
  // When linkDeferred runs out of memory the noted records stay noted and unlinked: the caller
  // clears the records, which ends the deferring too.
  void deferLinks();
  void linkDeferred();

  bool recordExists(int record) const { return records.exists(record); }
  int getRecordCount() const { return records.getCount(); }

  // Getters. Codes in order: 1 (unknown name), 14 (field out of range), the type's code, 14
  // (record index outside the slots or an empty slot). The text is NUL-terminated and lives
  // until the record is replaced, deleted or cleared.
  int getInt(int record, int field) const;
  int getLong(int record, int field) const;
  std::string_view getString(int record, int field) const;
  int getRelation(int record, int field) const;
  int getInt(int record, std::string_view field) const {
    return getInt(record, getDefinition().fieldIndex(field));
  }
  int getLong(int record, std::string_view field) const {
    return getLong(record, getDefinition().fieldIndex(field));
  }
  std::string_view getString(int record, std::string_view field) const {
    return getString(record, getDefinition().fieldIndex(field));
  }
  int getRelation(int record, std::string_view field) const {
    return getRelation(record, getDefinition().fieldIndex(field));
  }

  // Destroys every record, sets the count to 0 and empties every child list; the temporary
  // record and the definition stay.
  void clearRecords();

  // Deletes the record and, first, every record of a child table that refers to it (a
  // cascade, run as a loop with an explicit stack; a record already being deleted is skipped,
  // so reference cycles end). Code 14 for an empty slot or one outside the slots, for a missing
  // child list or for a related table that was deleted. Deletions made before a failure stay.
  void deleteRecord(int record);

  // Child-table registry. Registering is split so that adding a table can have every
  // allocation done before it changes anything: the links (an empty list per record slot), room
  // for `count` registrations, then the registration itself, which cannot fail.
  std::unique_ptr<ChildTableLinks> newChildTableLinks() const;
  void reserveChildTables(int count);
  void addChildTable(int childTable, std::unique_ptr<ChildTableLinks> links);
  int findChildTable(int childTable) const;  // code 12 when not registered
  void linkChild(int parentRecord, int childTable, int childRecord);
  void unlinkChild(int parentRecord, int childTable, int childRecord);
  // Codes: 12 (not registered), 14 (no list for the parent record).
  int getChildCount(int parentRecord, int childTable) const;
  int getChildCount(int parentRecord, std::string_view childTable) const;
  // Codes: 12, 14 (no list), 14 (negative position), 13 (position at or beyond the count).
  int childRecord(int parentRecord, int childTable, int position) const;
  int childRecord(int parentRecord, std::string_view childTable, int position) const;

  // What a load changes in a table besides its records: the temporary record and the number of
  // child lists. A load takes it before it first touches the table and puts it back when the
  // file turns out unreadable, so the table is as a load that applied nothing leaves it.
  struct LoadState {
    OwnedRecord temporaryRecord;
    std::vector<int> childListCounts;
  };
  // Moves the temporary record out: the table has none until createTemporaryRecord.
  LoadState takeLoadState();
  // Puts the temporary record back (discarding the one the table holds) and removes the child
  // lists added since the state was taken.
  void restoreLoadState(LoadState state);

  // Read access for the writer: the record in slot r (null for an empty slot; code 14 outside
  // the slots) and where its values sit.
  const Record* recordAt(int record) const { return records.at(record); }
  const RecordLayout& getLayout() const { return records.getLayout(); }

 private:
  // Checks in order: field index (14), type (wrongType), temporary record (11). Returns the
  // value's offset in the temporary record.
  int settableOffset(int field, int type, const ErrorRow& wrongType) const;
  const Record& storedRecord(int record) const;
  struct StoredValue {
    const Record& record;
    int offset;
  };
  // Checks in order: field index (14), type (wrongType), record (14).
  StoredValue storedValue(int record, int field, int type, const ErrorRow& wrongType) const;
  const ChildList& childList(int parentRecord, int childTable) const;
  ChildList& childList(int parentRecord, int childTable);
  // The table the k-th Relation field points to: code 1 when its name is unknown, 14 when its
  // slot was emptied.
  Table& relationTargetTable(size_t k) const;
  // Resolves every relation field's target and this table's registration in it (its child
  // lists by parent record; null where it cannot be found, childList then says why) again when
  // the tables changed.
  void refreshRelationTargets() const;
  void resolveRelationTargets(unsigned long long generation) const;
  Table& lookUpRelationTarget(size_t k) const;
  void linkRelations(const Record& record, int slot, bool link);
  // The list the k-th relation field of record links into; null where it cannot be found.
  ChildList* linkList(const Record& record, size_t k) const;
  // Finds the list each relation field of record links into (null where one cannot be found;
  // linking reports why) and makes room in it: lists has one entry per relation field.
  void reserveLinks(const Record& record, ChildList** lists);
  // Links the record stored at slot into the lists reserveLinks found, looking up the others.
  void linkReserved(const Record& record, int slot, ChildList* const* lists);
  void unlinkAndDestroy(int record);
  // Whether the temporary record can be appended with its links deferred: then parents holds
  // its parent per relation field (room for kInlineLinks).
  bool canDefer(int* parents) const;
  // Links the noted records, keeping the deferring on.
  void linkNoted();
  friend class CascadeDelete;

  IntArray childTables;
  OwnedArray<ChildTableLinks> childLinks;
  std::unique_ptr<TableDefinition> definition;  // before records, whose layout comes from it
  RecordStore records;
  OwnedRecord temporaryRecord;      // after records, which provide its memory
  std::vector<int> relationFields;  // the Relation fields, in field order
  // The tables relationFields name, as resolved when the database's table generation was
  // targetsGeneration (null where resolving failed); 0 while never resolved.
  mutable std::vector<Table*> relationTargets;
  mutable std::vector<ChildTableLinks*> relationTargetLinks;  // as relationTargets
  mutable unsigned long long targetsGeneration = 0;
  Database* ownerDatabase = nullptr;
  int index = 0;
  bool deferring = false;
  int firstNotedSlot = 0;
  std::vector<int> notedParents;  // per noted record, a parent per relation field
};

}  // namespace velmora
