// XmlStreamLoader: reads a database file straight into the tables, without a document in between.
#pragma once

#include <stddef.h>
#include <string.h>

#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/Table.h"
#include "xml/XmlLexer.h"

namespace velmora {

class Database;
class FileEnv;

// Where and why an input could not be read: LINE and COLUMN (1-based, COLUMN in bytes; LF, CR LF
// and a lone CR each end one line) of the first byte of the token that could not be read, e.g.
// the "<" of a mismatched or unterminated tag or comment, or the first byte of stray text. Both
// are 0 when the failure has no place in the input (the file cannot be opened or read).
struct ReadError {
  long long line = 0;
  long long column = 0;
  std::string message;  // "" while nothing failed
};

// Loads the records of one input into a database while the input is being read. The outcome is
// exactly that of parsing the whole input into a document (XmlParser) and applying it
// (XmlLoader): the same result, the same records in the same order, the same code when it
// fails, and the same state afterwards. What the two-step way gets from its order, this gets by
// bookkeeping:
// - the parser's view of the document (which element is open, which node is whose child, the
//   top level's rules) is kept as a stack of open elements, each with its role for the loader;
// - a failure while applying (an unknown table or field, a relation that cannot be linked) stops
//   applying, but the reading goes on to the end, because a document that turns out unreadable
//   reports 101 whatever applying met first;
// - when the input turns out unreadable, the records are removed and every table the load
//   touched gets back its temporary record and child lists, as if nothing had been applied.
// The input is read through a window of bounded size (see XmlLexer), never held whole, so
// nothing kept across tokens points into it. A loader runs one load. Borrows the database. Not
// thread-safe.
class XmlStreamLoader {
 public:
  // Borrows the environment for the file calls of loadFile. bufferSize: the reading window
  // (tests pass tiny ones to cut tokens at every byte).
  XmlStreamLoader(Database& target, FileEnv& fileEnv,
                  size_t bufferSize = XmlLexer::kDefaultBufferSize)
      : database(target), env(fileEnv), windowSize(bufferSize) {}
  XmlStreamLoader(const XmlStreamLoader&) = delete;
  XmlStreamLoader& operator=(const XmlStreamLoader&) = delete;

  // Reads the file under an exclusive lock and loads it (the records already in the database
  // stay unless the file is unreadable). False, loading nothing, unless the document's first
  // node is an element "database" whose first two children are elements. Codes: 101 "error
  // opening file for reading" for a file that cannot be opened or read to the end as a document
  // (getReadError then says where and why); the applying's own codes otherwise (records added
  // before it stay). A file changed while it is read loads as the bytes that were read.
  bool loadFile(const std::string& fileName);
  // The same for the bytes from begin up to end or up to the first zero byte before it.
  bool load(const char* begin, const char* end);
  // After code 101: where and why; otherwise an empty message.
  const ReadError& getReadError() const { return readError; }

 private:
  // What an open element is to the loader.
  enum class Role {
    Root,           // the document's first node, when it is an element
    Data,           // the root's second child, named "data", when the root qualifies
    TableElement,   // an element child of data, before data's first child that is not one
    RecordElement,  // an element child of a table element, named "record"
    FieldElement,   // an element child of a record, before its first child that is not one
    Ignored,        // anything else: only its end tag matters
  };
  struct OpenElement {
    // The name, copied into names (the input it came from is refilled).
    size_t nameStart;
    size_t nameSize;
    Role role;
    // Data and records: a child that is not an element was met, later children do not count.
    // Fields: the first child was met, so the value is settled.
    bool settled;
    // The table the element's records go to; for a table element set once an element child
    // needs it.
    Table* table;
  };

  // Runs the load over source, keeping the offset of a read failure; unreadable input throws.
  void read(ByteSource& source);
  // Undoes what was applied and throws 101 with readError completed by its position.
  template <typename Locate>
  [[noreturn]] void fail(Locate&& locate);
  // The element or text arrives as the next node; the element is pushed when it stays open.
  void startElement(std::string_view name, bool stays);
  void addText(std::string_view raw);
  void endElement(std::string_view name);
  // The element on top of the stack is complete: a field without content, a record to add.
  void complete(const OpenElement& element);
  // Sets the role (and table) of a new element from its parent, applying what its arrival
  // means to the loader.
  void placeChild(OpenElement& parent, OpenElement& child);

  // Applying, while nothing has failed yet; a failure is kept and ends applying.
  template <typename Step>
  void apply(Step&& step);
  Table& touch(std::string_view tableName);
  // The value raw of the field named fieldName in the temporary record of table.
  void loadField(Table* table, std::string_view fieldName, std::string_view raw);
  // The value raw of the field at index in the temporary record of table; entities: raw holds
  // an "&" to decode.
  void storeValue(Table& table, int index, std::string_view raw, bool entities);
  void undo();

  Database& database;
  FileEnv& env;
  size_t windowSize;
  // The open elements are open[0, openCount): entries beyond stay, so that their names' storage
  // is reused.
  std::vector<OpenElement> open;
  size_t openCount = 0;
  // The open elements' names one after the other, innermost last: names[0, namesSize).
  std::unique_ptr<char[]> names;
  size_t namesSize = 0;
  size_t namesCapacity = 0;
  void appendName(std::string_view name) {
    if (name.size() > namesCapacity - namesSize) growNames(name.size());
    if (!name.empty()) memcpy(names.get() + namesSize, name.data(), name.size());
    namesSize += name.size();
  }
  void growNames(size_t more);
  std::string_view nameOf(const OpenElement& element) const {
    return std::string_view(names.get() + element.nameStart, element.nameSize);
  }
  // The document's first node and its children as the loader sees them.
  enum class RootKind { None, Element, Other } rootKind = RootKind::None;
  std::string rootName;
  int rootChildren = 0;
  bool qualifies = false;  // the root is "database" and its first child is an element
  bool result = false;     // ... and its second child is an element too
  // Applying.
  int fieldPosition = 0;  // the position of the next field in its record
  // The field found at each position of the previous record, by the name it had there: records
  // usually list their fields in the same order, so a name is compared, not looked up.
  struct KnownField {
    std::string name;
    int index;
  };
  std::vector<KnownField> fieldAtPosition;
  std::string decoded;
  std::exception_ptr failure;
  std::unordered_map<Table*, Table::LoadState> touched;
  ReadError readError;
  long long failureOffset = -1;  // of the token that could not be read, -1 for none
};

}  // namespace velmora
