// Helpers shared by the XML tests: small schemas, a and a small-stack thread.
#pragma once

#include <pthread.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "engine/Database.h"
#include "engine/FieldValue.h"
#include "engine/Table.h"
#include "engine/TableDefinition.h"

namespace velmora {

struct FieldDef {
  const char* name;
  int type;
  const char* target = nullptr;  // relation fields only
};

inline Table& addTable(Database& database, const std::string& name,
                       std::initializer_list<FieldDef> fields) {
  auto definition = std::make_unique<TableDefinition>();
  for (const FieldDef& field : fields) {
    if (field.type == FieldType::Relation) {
      definition->addRelationField(field.name, field.target);
    } else {
      definition->addField(field.name, field.type);
    }
  }
  const int index = database.addTable(name, std::make_unique<Table>(std::move(definition)));
  return database.tableByIndex(index);
}

// "employee" with String name, String surname and Int age.
inline Table& addEmployeeTable(Database& database) {
  return addTable(
      database, "employee",
      {{"name", FieldType::String}, {"surname", FieldType::String}, {"age", FieldType::Int}});
}

inline int addEmployee(Table& table, const std::string& name, const std::string& surname, int age) {
  table.createTemporaryRecord();
  table.setString("name", name);
  table.setString("surname", surname);
  table.setInt("age", age);
  return table.addRecord(-1);
}

// The document written for the sample database, up to and after its data element's content.
inline const std::string kDocumentHead =
    "<!--this is a database created with velmora-->"
    "<!--you can download this program from https://velmora.example.org/download-->"
    "<database><info><name>my database</name><version>1</version></info>";

// Runs body on a thread whose whole stack is 256 KiB, so that recursion per record or node
// would overflow it. Returns false when the thread could not be started.
inline bool runOnSmallStack(const std::function<void()>& body) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  pthread_attr_setstacksize(&attributes, 256 * 1024);
  pthread_t thread;
  auto entry = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  const bool started =
      pthread_create(&thread, &attributes, entry, const_cast<std::function<void()>*>(&body)) == 0;
  pthread_attr_destroy(&attributes);
  if (started) pthread_join(thread, nullptr);
  return started;
}

}  // namespace velmora
