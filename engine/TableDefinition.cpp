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

const std::string& TableDefinition::relationTarget(int field) const {
  if (fieldType(field) != FieldType::Relation) throwError(kNotRelationField);
  for (int i = 0; i < relationTargets.getCount(); ++i) {
    const RelationTarget* target = relationTargets.at(i);
    if (target != nullptr && target->field == field) return target->targetTableName;
  }
  throwError(kReferenceNotFound);
}

}  // namespace velmora
