// XmlLoader: applies a parsed document to a database by adding records to its existing tables.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class Database;
class Table;
class XmlElement;
class XmlNode;

// Walks a document in loops (no recursion per node or record) and adds its records through each
// table's temporary record, as a caller would. Borrows the database and the document. Not
// thread-safe.
class XmlLoader {
 public:
  XmlLoader(Database& target, const XmlNode& parsed) : database(target), document(parsed) {}

  // False, loading nothing, unless the first node is an element "database" whose first child is
  // an element with an element after it; that second child is then loaded by loadData. The
  // first child (the information block) is not read. Codes from the tables, see loadRecord and
  // loadField; records added before a failure stay.
  bool apply();

  // Loads nothing unless the element is named "data". Each child element names a table; the
  // walk ends at the first child that is not an element.
  void loadData(const XmlElement& data);

 private:
  // Each child element of a table element is a record when it is named "record"; the table is
  // looked up (code 1 when the database has no such table) and given a fresh temporary record
  // at the first child element, before the name is checked.
  void loadTable(const XmlElement& tableElement);
  // Sets the fields from the child elements, up to the first child that is not an element, and
  // appends the record. Codes from loadField and Table::addRecord.
  void loadRecord(const XmlElement& record, Table& table);
  // Code 1 when the table has no field of that name; then the setter's codes.
  void loadField(const XmlElement& field, Table& table, size_t position);

  Database& database;
  const XmlNode& document;
  // The field index found at each position of the previous record, tried first for the next
  // one: records usually list their fields in the same order.
  std::vector<int> fieldAtPosition;
};

}  // namespace velmora
