// DatabaseFile: every way the tool reads, checks and writes a database file, behind one seam.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Database.h"
#include "xml/SchemaReader.h"

namespace velmora {

// A failure the tool reports and exits 1 for; the text already names the file (and the
// position, when there is one).
class CommandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TableSchema {
  std::string name;
  std::vector<SchemaField> fields;
  long long recordCount = 0;
};

// What a file says about itself: its name and version from `info`, and its tables either from
// the schema it carries (read by SchemaReader) or, without one, inferred from its records (every
// field a String, in the order first seen).
struct SchemaDescription {
  std::string databaseName;
  std::string version;
  bool hasSchema = false;
  std::vector<TableSchema> tables;
};

struct LoadedDatabase {
  std::unique_ptr<Database> database;
  SchemaDescription schema;  // record counts filled in from the loaded tables
  long long fileBytes = 0;
};

// The file access of the tool. Reading takes the tables from the file's schema (or infers them)
// and then loads the records with the library's own loader, so a file the tool reads is a file
// the library reads, and an unreadable one is reported at the library's position; writing goes
// through the library's own save, so the bytes and the atomic replacement are the library's.
class DatabaseFile {
 public:
  // Throws CommandError "FILE:LINE:COLUMN: message" for an unreadable file (the library's
  // position and message), "FILE: message" for one that cannot be opened or is not a database.
  static LoadedDatabase read(const std::string& path);
  // Reads strictly: as read does, then, where the library is lenient, reports elements left
  // open and content after the database element, and with a schema every unknown table or
  // field, every value not of its field's type and every relation value beyond its target's
  // records, each at its position. Throws as read does.
  static SchemaDescription check(const std::string& path);
  // Replaces path atomically (temporary file and rename); the old file stays whole on failure.
  // With schema the `info` element carries the tables' description; with indent the document is
  // written one element per line instead of on one line.
  static void write(const std::string& path, Database& database, bool withSchema, bool indent);
  // The description of an in-memory database (deleted tables left out).
  static SchemaDescription describe(const Database& database);
};

// The type's name as files and people see it ("Int", "String", "Long", "Relation"); parseType
// answers -1 for any other text.
const char* typeName(int type);
// The index of a table or field by name, or -1 when there is none (the engine throws code 1).
int findTable(const Database& database, std::string_view name);
int findField(const TableDefinition& definition, std::string_view name);
int parseType(const std::string& text);

}  // namespace velmora
