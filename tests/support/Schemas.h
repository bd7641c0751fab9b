// Shared schemas for tests: tables built straight on a Database.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/Database.h"
#include "engine/FieldValue.h"
#include "engine/Table.h"
#include "engine/TableDefinition.h"

namespace velmora {

// A field list entry: name and type code, or for a relation field the target table's name.
struct FieldSpec {
  std::string name;
  int type;
  std::string target;  // only for FieldType::Relation
};

inline int addTestTable(Database& database, const std::string& name,
                        const std::vector<FieldSpec>& fields) {
  auto definition = std::make_unique<TableDefinition>();
  for (const FieldSpec& field : fields) {
    if (field.type == FieldType::Relation && !field.target.empty()) {
      definition->addRelationField(field.name, field.target);
    } else {
      definition->addField(field.name, field.type);
    }
  }
  return database.addTable(name, std::make_unique<Table>(std::move(definition)));
}

// "employee": String name, String surname, Int age.
inline int addEmployeeTable(Database& database) {
  return addTestTable(database, "employee",
                      {{"name", FieldType::String, ""},
                       {"surname", FieldType::String, ""},
                       {"age", FieldType::Int, ""}});
}

inline int addEmployee(Table& table, const std::string& name, const std::string& surname, int age,
                       int position = -1) {
  table.createTemporaryRecord();
  table.setString("name", name);
  table.setString("surname", surname);
  table.setInt("age", age);
  return table.addRecord(position);
}

}  // namespace velmora
