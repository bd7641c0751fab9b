#include "engine/TableDefinition.h"

#include <memory>

#include "engine/FieldValue.h"

TableDefinition::TableDefinition() : relationTargets(1), fieldTypes(5) {}

int TableDefinition::addField(const std::string& name, int type) {
  const int field = fieldTypes.getCount();
  fieldTypes.append(type);
  fieldNames.add(field, name);
  return field;
}

int TableDefinition::addRelationField(const std::string& name, const std::string& targetTableName) {
  const int field = fieldTypes.getCount();
  fieldTypes.append(FieldType::Relation);
  fieldNames.add(field, name);
  relationTargets.append(std::make_unique<RelationTarget>(RelationTarget{field, targetTableName}));
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
