// DatabaseWriter: a database saved as its XML document, written straight from the records.
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "engine/RecordRenumbering.h"

namespace velmora {

class Database;
class FileEnv;
class IntArray;
class MarkupOutput;
class Table;

// The two comments at the head of every saved document.
inline constexpr char kCreatedComment[] = "this is a database created with velmora";
inline constexpr char kDownloadComment[] =
    "you can download this program from https://velmora.example.org/download";

// Writes a database's document straight from its records: the two comments above, then
// <database><info><name>..</name><version>1</version></info><data>, one element per table
// holding its records in slot order, relation values renumbered to their target's compacted
// positions. Everything that can make a database unwritable is checked first, in the file's
// order, so such a database fails before any file is touched. Borrows the database and the
// environment; owns the renumbering of its save. Not thread-safe.
//
// With the schema, info also holds, after version, the definitions of the existing tables in
// index order, names and targets escaped like values:
//   <schema><table><name>..</name><field><name>..</name><type>Int|String|Long|Relation</type>
//   [<target>..</target>]</field>...</table>...</schema>
// (<schema/> without tables). A relation naming a table that does not exist is written as it is:
// opening the file builds the same state, since creating such a table keeps it. What a schema
// cannot carry is refused (code 16) before anything is written: a field of another type, a
// Relation field without a target, and a table or field name that no longer finds its own table
// or field (a later one took the name), since its records would read back into the other one.
class DatabaseWriter {
 public:
  DatabaseWriter(const Database& source, FileEnv& fileEnv, bool writeSchema = false)
      : database(source), env(fileEnv), withSchema(writeSchema) {}

  // Rebuilds the database's renumbering, checks, then replaces the file with atomicReplace. Codes:
  // 16 (a name requireWritableNames refuses) before anything else; then the first in file order
  // deciding (table by table, record by record, field by field): 2 (a table or field index without
  // a name), 1 (a relation naming a table the database does not know), 14 (no renumbering map for
  // that table, or a relation value outside its slots); then 102 from writing. With the schema,
  // 16 for what it cannot carry comes right after the name rule. failure, when not null, says
  // what went wrong for a person (the file and the system's reason, or the refused definition).
  void save(const std::string& fileName, std::string* failure = nullptr);

 private:
  // What writing one field needs, found once per table.
  struct Column {
    std::string open;   // "<name>"
    std::string close;  // "</name>"
    std::string empty;  // "<name/>"
    int type;
    int offset;                  // of the value in a record; -1 for a type without values
    const IntArray* newIndex;    // relation fields: the compacted positions of the target's slots
    std::exception_ptr failure;  // why the field cannot be written at all (name or target)
  };
  struct TableOutput {
    const Table* table;
    std::string name;
    bool hasRecords;
    std::vector<Column> columns;
  };

  void check();
  void checkSchema(std::string* failure) const;
  void writeSchema(MarkupOutput& out) const;
  Column describe(const Table& table, int field) const;
  void write(MarkupOutput& out) const;

  const Database& database;
  FileEnv& env;
  bool withSchema;
  std::unique_ptr<RecordRenumbering> renumbering;
  std::vector<TableOutput> tables;
};

}  // namespace velmora
