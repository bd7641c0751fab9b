// Fuzz target: arbitrary bytes parsed and loaded into a database with a few tables (relations
// included), whose records are then written out again.
#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "engine/Database.h"
#include "engine/Errors.h"
#include "engine/FieldValue.h"
#include "engine/Table.h"
#include "engine/TableDefinition.h"
#include "xml/XmlLoader.h"
#include "xml/XmlNode.h"
#include "xml/XmlParser.h"
#include "xml/XmlWriter.h"

namespace {

void addTable(Database& database, const char* name, std::unique_ptr<TableDefinition> definition) {
  database.addTable(name, std::make_unique<Table>(std::move(definition)));
}

// employee (name, surname, age); dept (title, size, parent: dept); member (person: employee,
// dept: dept, note, and a field of a type that holds no values).
std::unique_ptr<Database> makeDatabase() {
  auto database = std::make_unique<Database>("fuzz", 1);
  auto employee = std::make_unique<TableDefinition>();
  employee->addField("name", FieldType::String);
  employee->addField("surname", FieldType::String);
  employee->addField("age", FieldType::Int);
  addTable(*database, "employee", std::move(employee));
  auto dept = std::make_unique<TableDefinition>();
  dept->addField("title", FieldType::String);
  dept->addField("size", FieldType::Long);
  dept->addRelationField("parent", "dept");
  addTable(*database, "dept", std::move(dept));
  auto member = std::make_unique<TableDefinition>();
  member->addRelationField("person", "employee");
  member->addRelationField("dept", "dept");
  member->addField("note", FieldType::String);
  member->addField("odd", 7);
  addTable(*database, "member", std::move(member));
  return database;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);  // zero-terminated
  std::unique_ptr<Database> database = makeDatabase();
  try {
    std::unique_ptr<XmlNode> document = parseXml(input.c_str());
    if (!document) return 0;
    XmlLoader(*database, *document).apply();
  } catch (const Win::Exception&) {
    // Records added before a failure stay; write them out all the same.
  }
  try {
    std::string written;
    writeXml(database->buildXmlDocument(std::string()).get(), written);
  } catch (const Win::Exception&) {
    // A relation value that names no record of its target cannot be written.
  }
  return 0;
}
