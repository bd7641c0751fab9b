// DatabaseWriter: a database saved as its XML document, written straight from the records.
#pragma once

#include <exception>
#include <string>
#include <vector>

namespace velmora {

class Database;
class IntArray;
class MarkupOutput;
class Table;

// The two comments at the head of every saved document.
inline constexpr char kCreatedComment[] = "this is a database created with velmora";
inline constexpr char kDownloadComment[] =
    "you can download this program from https://velmora.example.org/download";

// Writes the document that Database::buildXmlDocument builds (with the two comments above), byte
// for byte, without building it. Everything that building it can fail on is checked first, in
// the order building meets it (the file's order), so a database that cannot be saved fails with
// the same code and before any file is touched. Borrows the database. Not thread-safe.
class DatabaseWriter {
 public:
  explicit DatabaseWriter(Database& target) : database(target) {}

  // Rebuilds the database's renumbering, checks, then writes as writeFileSafely does. Codes: 16
  // (a name requireWritableNames refuses) before anything else; then the first in file order
  // deciding (table by table, record by record, field by field): 2 (a table or field index without
  // a name), 1 (a relation naming a table the database does not know), 14 (no renumbering map for
  // that table, or a relation value outside its slots); then 102 from writing.
  void save(const std::string& fileName);

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
  Column describe(const Table& table, int field) const;
  void write(MarkupOutput& out) const;

  Database& database;
  std::vector<TableOutput> tables;
};

}  // namespace velmora
