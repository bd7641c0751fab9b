// Fuzz target: arbitrary bytes parsed and loaded into a database with a few tables (relations
// included), whose records are then written out again; and the same bytes loaded as a file is
// loaded, straight into a second database, which must end exactly as the first.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "engine/Database.h"
#include "engine/Errors.h"
#include "engine/FieldValue.h"
#include "engine/Table.h"
#include "engine/TableDefinition.h"
#include "tests/support/xmltree/XmlLoader.h"
#include "tests/support/xmltree/XmlNode.h"
#include "tests/support/xmltree/XmlParser.h"
#include "tests/support/xmltree/XmlTreeWriter.h"
#include "xml/FileEnv.h"
#include "xml/SchemaReader.h"
#include "xml/XmlStreamLoader.h"

using namespace velmora;

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

// What a caller can see of the database: records, values, child lists and temporary records.
std::string state(const Database& database) {
  std::string out;
  for (int t = 0; t < database.getTableCount(); ++t) {
    const Table& table = database.tableByIndex(t);
    const TableDefinition& definition = table.getDefinition();
    out += table.hasTemporaryRecord() ? "T" : "-";
    for (int r = 0; r < table.getRecordCount(); ++r) {
      out += '[';
      for (int f = 0; table.recordExists(r) && f < definition.getFieldCount(); ++f) {
        switch (definition.fieldType(f)) {
          case FieldType::Int:
            out += std::to_string(table.getInt(r, f));
            break;
          case FieldType::Long:
            out += std::to_string(table.getLong(r, f));
            break;
          case FieldType::String:
            out += table.getString(r, f);
            break;
          case FieldType::Relation:
            out += std::to_string(table.getRelation(r, f));
            break;
          default:
            break;
        }
        out += ',';
      }
      out += ']';
    }
    for (int child = 0; child < database.getTableCount(); ++child) {
      for (int q = 0; q < table.getRecordCount() + 2; ++q) {
        try {
          out += std::to_string(table.getChildCount(q, child)) + ' ';
        } catch (const Win::Exception& e) {
          out += 'e' + std::to_string(e.getCode()) + ' ';
        }
      }
    }
    out += '\n';
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);  // zero-terminated
  std::unique_ptr<Database> database = makeDatabase();
  std::string outcome;
  try {
    std::unique_ptr<XmlNode> document;
    try {
      document = parseXml(input.c_str());
    } catch (const Win::Exception&) {
      throwError(kCannotOpenForReading);
    }
    outcome = document != nullptr && XmlLoader(*database, *document).apply() ? "true" : "false";
  } catch (const Win::Exception& e) {
    // Records added before a failure stay; write them out all the same.
    outcome = "code " + std::to_string(e.getCode());
  }

  // Streamed through the usual window and through a tiny one that cuts tokens anywhere.
  const char* const begin = reinterpret_cast<const char*>(data);
  for (const size_t window : {XmlLexer::kDefaultBufferSize, 1 + size % 17}) {
    std::unique_ptr<Database> streamed = makeDatabase();
    std::string streamedOutcome;
    try {
      XmlStreamLoader loader(*streamed, defaultFileEnv(), window);
      streamedOutcome = loader.load(begin, begin + size) ? "true" : "false";
    } catch (const Win::Exception& e) {
      streamedOutcome = "code " + std::to_string(e.getCode());
    }
    if (streamedOutcome != outcome || state(*streamed) != state(*database)) {
      fprintf(stderr, "the streaming load differs: %s instead of %s\n", streamedOutcome.c_str(),
              outcome.c_str());
      abort();
    }
  }

  // The schema section: read or refused, never anything else.
  try {
    SchemaReader(1 + size % 17).read(begin, begin + size);
  } catch (const Win::Exception& e) {
    if (e.getCode() != kCannotOpenForReading.code) abort();
  }

  try {
    std::string written;
    writeXml(buildXmlDocument(*database, std::string()).get(), written);
  } catch (const Win::Exception&) {
    // A relation value that names no record of its target cannot be written.
  }
  return 0;
}
