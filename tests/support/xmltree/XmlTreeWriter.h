// The save path through a node tree: a database's document built as nodes and written as markup.
// A test oracle: the shipped writer (xml/DatabaseWriter) must produce the same bytes.
#pragma once

#include <memory>
#include <string>

#include "tests/support/xmltree/XmlNode.h"

namespace velmora {

class Database;
class RecordRenumbering;
class Table;

// The document a save writes: commentText as its one comment (the two standard comments when it
// is empty), then database/info/data with every existing table's records. Codes as
// recordToXml's, in file order.
std::unique_ptr<XmlNode> buildXmlDocument(const Database& database, const std::string& commentText);

// The chain of record elements of a table (null without records).
std::unique_ptr<XmlNode> recordsToXml(const Table& table, const RecordRenumbering& renumbering);

// The chain of field elements of one record (null without fields or for an empty slot). Each
// field is checked as it is written: its name (code 2), then for a relation its position through
// the renumbering (codes 1 and 14), so the first value that cannot be written decides the code.
std::unique_ptr<XmlNode> recordToXml(const Table& table, int record,
                                     const RecordRenumbering& renumbering);

// Appends the markup of the chain headed by first (each node, everything below it, and its
// following siblings) to out. A null first appends nothing.
void writeXml(const XmlNode* first, std::string& out);

}  // namespace velmora
