// SchemaReader: reads the description a database file carries in its info element.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

#include "xml/FileEnv.h"
#include "xml/XmlLexer.h"
#include "xml/XmlStreamLoader.h"

namespace velmora {

struct SchemaField {
  std::string name;
  int type = 0;        // FieldType::Int, String, Long or Relation
  std::string target;  // the target table's name, Relation fields only
};

struct SchemaTable {
  std::string name;
  std::vector<SchemaField> fields;
};

// What a file says about itself: texts decoded as values are.
struct FileSchema {
  bool isDatabase = false;  // the document's first node is an element "database"
  bool hasInfo = false;     // ... whose first child is an element "info"
  std::string databaseName;
  std::string version;
  bool hasSchema = false;  // info holds a schema element
  std::vector<SchemaTable> tables;
};

// Reads the info element of a database file,
//   <info><name>..</name><version>..</version><schema><table><name>..</name>
//   <field><name>..</name><type>Int|String|Long|Relation</type>[<target>..</target>]</field>
//   ...</table>...</schema></info>
// and stops after it: the records are never read. Whitespace between elements and comments are
// skipped; other elements inside info are ignored, but inside schema every element must be one
// of the above. Not thread-safe.
class SchemaReader {
 public:
  explicit SchemaReader(size_t bufferSize = XmlLexer::kDefaultBufferSize)
      : windowSize(bufferSize) {}

  // Code 101 "error opening file for reading" when the file cannot be opened or read up to the
  // end of info, or when the schema cannot describe a database: a table or field without a
  // name, a field without a type, an unknown type, a Relation without a target, a target on
  // another type, a repeated or unknown element, a table name or a field name within a table
  // given twice. getReadError then says where and why.
  FileSchema readFile(const std::string& fileName, FileEnv& env = defaultFileEnv());
  // The same for the bytes from begin up to end or up to the first zero byte before it.
  FileSchema read(const char* begin, const char* end);
  const ReadError& getReadError() const { return readError; }

 private:
  class Parse;
  bool parse(ByteSource& source, FileSchema& schema, long long& offset);

  size_t windowSize;
  ReadError readError;
};

}  // namespace velmora
