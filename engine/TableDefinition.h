// TableDefinition: the ordered, typed, named fields of one table and its relation targets.
#pragma once

#include <string>
#include <string_view>

#include "engine/IntArray.h"
#include "engine/NameIndex.h"
#include "engine/OwnedArray.h"

namespace velmora {

// One per relation field: the field's index and the target table's name as given.
struct RelationTarget {
  int field;
  std::string targetTableName;
};

// Open while it is the workspace's temporary table, frozen once a Table takes it. Adding fields
// checks nothing (no duplicate names, no type range). Not thread-safe.
class TableDefinition {
 public:
  TableDefinition();

  int addField(std::string_view name, int type);
  int addRelationField(std::string_view name, std::string_view targetTableName);

  // Code 14 outside [0, fieldCount).
  int fieldType(int field) const { return fieldTypes.at(field); }
  // Code 1 for an unknown name, then as fieldType.
  int fieldTypeByName(std::string_view name) const { return fieldType(fieldIndex(name)); }
  int fieldIndex(std::string_view name) const { return fieldNames.indexOf(name); }
  // Code 2 when the index has no name; the text lives as long as the definition.
  const std::string& fieldName(int field) const { return fieldNames.nameOf(field); }
  int getFieldCount() const { return fieldTypes.getCount(); }
  // Codes in order: 14 (field out of range), 6 (not a relation field), 7 (no target recorded).
  // The text lives as long as the definition.
  const std::string& relationTarget(int field) const;

  void shrinkToFit() { fieldTypes.shrinkToFit(); }

 private:
  OwnedArray<RelationTarget> relationTargets;
  IntArray fieldTypes;
  NameIndex fieldNames;
};

}  // namespace velmora
