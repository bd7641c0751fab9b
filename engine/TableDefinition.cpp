#include "engine/TableDefinition.h"

#include <memory>

#include "engine/FieldValue.h"

namespace velmora {

TableDefinition::TableDefinition() : relationTargets(1), fieldTypes(5) {}

// Room is made before anything is stored, so a failed allocation leaves no field half added.
int TableDefinition::addField(std::string_view name, int type) {
  const int field = fieldTypes.getCount();
  fieldTypes.reserve(1);
  fieldNames.add(field, name);
  fieldTypes.append(type);
  return field;
}

int TableDefinition::addRelationField(std::string_view name, std::string_view targetTableName) {
  const int field = fieldTypes.getCount();
  auto target =
      std::make_unique<RelationTarget>(RelationTarget{field, std::string(targetTableName)});
  fieldTypes.reserve(1);
  relationTargets.reserve(1);
  fieldNames.add(field, name);
  fieldTypes.append(FieldType::Relation);
  relationTargets.append(std::move(target));
  return field;
}

// Targets are appended as their fields are added, so they are sorted by field: found by
// halving, which keeps resolving every field of a wide table O(n log n).
const std::string& TableDefinition::relationTarget(int field) const {
  if (fieldType(field) != FieldType::Relation) throwError(kNotRelationField);
  int low = 0;
  int high = relationTargets.getCount();
  while (low < high) {
    const int middle = low + (high - low) / 2;
    if (relationTargets.at(middle)->field < field) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  if (low == relationTargets.getCount() || relationTargets.at(low)->field != field) {
    throwError(kReferenceNotFound);
  }
  return relationTargets.at(low)->targetTableName;
}

}  // namespace velmora
