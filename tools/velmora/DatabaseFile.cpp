// Reading, checking and writing database files for the tool.
#include "tools/velmora/DatabaseFile.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>

#include "engine/Errors.h"
#include "engine/FieldValue.h"
#include "tools/velmora/TextOutput.h"
#include "xml/FileEnv.h"
#include "xml/InputFile.h"
#include "xml/Persistence.h"
#include "xml/TextCodec.h"
#include "xml/XmlLexer.h"
#include "xml/XmlStreamLoader.h"

namespace velmora {

namespace {

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// The whole file's bytes.
std::string readFile(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) throw CommandError(path + ": " + strerror(errno));
  std::string bytes;
  char chunk[1 << 16];
  for (;;) {
    const ssize_t got = ::read(descriptor, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(descriptor);
      throw CommandError(path + ": " + strerror(error));
    }
    if (got == 0) break;
    bytes.append(chunk, static_cast<size_t>(got));
  }
  ::close(descriptor);
  return bytes;
}

// The size of a file the library can be asked to read; the system's own reason otherwise,
// which says more to a person than the library's "unable to open file".
long long requireReadable(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) throw CommandError(path + ": " + strerror(errno));
  struct stat status {};
  const int statResult = ::fstat(descriptor, &status);
  const int error = errno;
  ::close(descriptor);
  if (statResult != 0) throw CommandError(path + ": " + strerror(error));
  if (!S_ISREG(status.st_mode)) throw CommandError(path + ": not a regular file");
  if (status.st_size == 0) throw CommandError(path + ": empty file, not a database file");
  return static_cast<long long>(status.st_size);
}

// "FILE:LINE:COLUMN: message" from the library's account of a failed read; "FILE: message"
// when the failure has no place in the file.
std::string located(const std::string& path, const ReadError& error) {
  const std::string message = error.message.empty() ? "cannot be read" : error.message;
  if (error.line == 0) return path + ": " + message;
  return path + ":" + std::to_string(error.line) + ":" + std::to_string(error.column) + ": " +
         message;
}

// Parses -?[0-9]+ within 32 bits; false for anything else (the loader would read a prefix).
bool parseStrictInt(std::string_view text, long long& value) {
  size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) i = 1;
  if (i == text.size()) return false;
  long long magnitude = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > 2147483648LL) return false;
  }
  value = negative ? -magnitude : magnitude;
  return value >= std::numeric_limits<int32_t>::min() &&
         value <= std::numeric_limits<int32_t>::max();
}

// A strict finding: what is wrong and the offset of the token it is about.
struct Finding {
  long long offset;
  std::string message;
};

// A walk over the records of a document with the library's lexer, placing elements the way the
// loader does (data is the root's second child, its element children are tables, their
// "record" children records, the records' element children fields). It serves what the library
// leaves to its callers: inferring the tables and fields of a file without a schema, and the
// strict checks. Tables it meets are added to tables (when inferring) or must be there.
class RecordScan {
 public:
  // inferring: tables and fields not in tables are added, not reported. strict: the first
  // finding throws a Finding.
  RecordScan(std::vector<TableSchema>& described, bool inferring, bool strict)
      : tables(described), infer(inferring), report(strict) {}

  // Reads source to its end. Not strict, a lexer failure or a finding just ends the walk (the
  // loader reports what it cannot read).
  void run(ByteSource& source) {
    XmlLexer lexer(source, XmlLexer::kDefaultBufferSize);
    try {
      for (lexer.next(); lexer.getKind() != TokenKind::End; lexer.next()) step(lexer);
      if (!open.empty()) find(open.back().offset, "<" + open.back().name + "> is not closed");
      checkRelations();
    } catch (const Win::Exception&) {
      if (lexer.getFailure() == nullptr || report) throw;
    } catch (const Finding&) {
      if (report) throw;
    }
  }

 private:
  enum class Role { Root, Data, Table, Record, Field, Other };
  struct Open {
    std::string name;
    long long offset;
    Role role;
    bool settled;  // data and records: a text ended their element children
  };
  struct Relation {
    const SchemaField* field;
    const TableSchema* table;
    long long value;
    long long offset;
  };

  [[noreturn]] void find(long long offset, std::string message) const {
    throw Finding{offset, std::move(message)};
  }

  void step(const XmlLexer& lexer) {
    switch (lexer.getKind()) {
      case TokenKind::StartTag:
      case TokenKind::EmptyTag: {
        const std::string_view name = lexer.tagNameView();
        if (open.empty() && seenRoot)
          find(lexer.getTokenOffset(), "content after the database element");
        seenRoot = true;
        const Role role = place(name, lexer.getTokenOffset());
        if (lexer.getKind() == TokenKind::StartTag) {
          open.push_back({std::string(name), lexer.getTokenOffset(), role, false});
        } else if (role == Role::Field) {
          currentField = nullptr;
        }
        break;
      }
      case TokenKind::EndTag:
        if (!open.empty()) {  // the loader has already refused an end tag that fits no start
          if (open.back().role == Role::Field) currentField = nullptr;
          open.pop_back();
        }
        break;
      case TokenKind::Text:
        if (open.empty()) break;
        if (open.back().role == Role::Data || open.back().role == Role::Record) {
          open.back().settled = true;
        } else if (open.back().role == Role::Field && currentField != nullptr) {
          checkValue(lexer.tokenView(), lexer.getTokenOffset());
          currentField = nullptr;
        }
        break;
      default:
        break;
    }
  }

  Role place(std::string_view name, long long offset) {
    if (open.empty()) return Role::Root;
    Open& parent = open.back();
    switch (parent.role) {
      case Role::Root:
        return ++rootChildren == 2 && name == "data" ? Role::Data : Role::Other;
      case Role::Data:
        if (parent.settled) return Role::Other;
        tableNamed(name, offset);
        return Role::Table;
      case Role::Table:
        if (name != "record") return Role::Other;
        tableOf(parent).recordCount++;
        return Role::Record;
      case Role::Record:
        if (parent.settled) return Role::Other;
        enterField(name, offset);
        return Role::Field;
      default:
        return Role::Other;
    }
  }

  // The table an open table element stands for; it was looked up (or added) when it began.
  TableSchema& tableOf(const Open& tableElement) { return tableNamed(tableElement.name, 0); }

  TableSchema& tableNamed(std::string_view name, long long offset) {
    if (current < tables.size() && tables[current].name == name) return tables[current];
    const auto found = std::find_if(tables.begin(), tables.end(),
                                    [&](const TableSchema& t) { return t.name == name; });
    if (found != tables.end()) {
      current = static_cast<size_t>(found - tables.begin());
    } else {
      if (!infer) find(offset, "unknown table " + quoted(name));
      current = tables.size();
      tables.push_back({std::string(name), {}, 0});
    }
    return tables[current];
  }

  void enterField(std::string_view name, long long offset) {
    TableSchema& table = tableOf(open[open.size() - 2]);
    auto& fields = table.fields;
    const auto found = std::find_if(fields.begin(), fields.end(),
                                    [&](const SchemaField& f) { return f.name == name; });
    currentField = nullptr;
    if (found != fields.end()) {
      if (!infer) currentField = &*found;
    } else if (infer) {
      fields.push_back({std::string(name), FieldType::String, {}});
    } else {
      find(offset, "unknown field " + quoted(name) + " in table " + quoted(table.name));
    }
  }

  void checkValue(std::string_view raw, long long offset) {
    const SchemaField& field = *currentField;
    const TableSchema& table = tables[current];
    if (field.type == FieldType::String) return;
    decoded.clear();
    decodeMarkup(raw, decoded);
    long long number = 0;
    if (!parseStrictInt(decoded, number)) {
      find(offset, "field " + quoted(field.name) + " of table " + quoted(table.name) + ": " +
                       quoted(decoded) + " is not a 32-bit integer");
    }
    if (field.type == FieldType::Relation) {
      relations.push_back({&field, &table, number, offset});
    }
  }

  void checkRelations() const {
    for (const Relation& relation : relations) {
      const auto target = std::find_if(tables.begin(), tables.end(), [&](const TableSchema& t) {
        return t.name == relation.field->target;
      });
      const long long count = target == tables.end() ? 0 : target->recordCount;
      if (relation.value < 0 || relation.value >= count) {
        find(relation.offset, "relation " + quoted(relation.field->name) + " of table " +
                                  quoted(relation.table->name) + ": record " +
                                  std::to_string(relation.value) + " does not exist in " +
                                  quoted(relation.field->target) + " (" + std::to_string(count) +
                                  " records)");
      }
    }
  }

  std::vector<TableSchema>& tables;
  bool infer;
  bool report;
  std::vector<Open> open;
  bool seenRoot = false;
  int rootChildren = 0;
  size_t current = static_cast<size_t>(-1);  // the table last looked up
  const SchemaField* currentField = nullptr;
  std::string decoded;
  std::vector<Relation> relations;
};

// The file's own description; the tables inferred from its records when it carries no schema.
SchemaDescription describeFile(const std::string& path) {
  SchemaReader reader;
  FileSchema file;
  try {
    file = reader.readFile(path);
  } catch (const Win::Exception&) {
    throw CommandError(located(path, reader.getReadError()));
  }
  if (!file.isDatabase) {
    throw CommandError(path + ": not a database file (the first element is not <database>)");
  }
  SchemaDescription description;
  description.databaseName = std::move(file.databaseName);
  description.version = std::move(file.version);
  description.hasSchema = file.hasSchema;
  for (SchemaTable& table : file.tables) {
    description.tables.push_back({std::move(table.name), std::move(table.fields), 0});
  }
  if (!description.hasSchema) {
    InputFile input(defaultFileEnv(), path);
    RecordScan(description.tables, true, false).run(input);
  }
  return description;
}

std::unique_ptr<Database> buildDatabase(const std::string& path, const SchemaDescription& schema) {
  auto database = std::make_unique<Database>(schema.databaseName, 1);
  for (const TableSchema& table : schema.tables) {
    // The engine keeps a repeated name, but only the first of them can be reached by name.
    if (findTable(*database, table.name) >= 0)
      throw CommandError(path + ": table " + quoted(table.name) + " described twice");
    auto definition = std::make_unique<TableDefinition>();
    for (const SchemaField& field : table.fields) {
      if (findField(*definition, field.name) >= 0) {
        throw CommandError(path + ": table " + quoted(table.name) + ": field " +
                           quoted(field.name) + " described twice");
      }
      if (field.type == FieldType::Relation) {
        if (findTable(*database, field.target) < 0 && field.target != table.name) {
          throw CommandError(path + ": table " + quoted(table.name) + ": relation " +
                             quoted(field.name) + " targets " + quoted(field.target) +
                             ", which is not described before it");
        }
        definition->addRelationField(field.name, field.target);
      } else {
        definition->addField(field.name, field.type);
      }
    }
    try {
      database->addTable(table.name, std::make_unique<Table>(std::move(definition)));
    } catch (const Win::Exception& e) {
      throw CommandError(path + ": table " + quoted(table.name) + ": " + e.getMessage());
    }
  }
  return database;
}

// Replaces path by bytes atomically (temporary file, sync, rename).
void replaceFile(const std::string& path, std::string_view bytes) {
  FileEnv& env = defaultFileEnv();
  FileFailure failure;
  if (!atomicReplace(
          env, path,
          [&](int descriptor) { return writeAll(env, descriptor, bytes.data(), bytes.size()); },
          failure)) {
    throw CommandError(path + ": " + failure.describe());
  }
}

// Saves the one-line form that Save writes to path, replacing it atomically, with the schema
// section inside info when withSchema (the library's SaveWithSchema). Throws Win::Exception as
// the library's save does.
void saveOneLine(const Database& database, const std::string& path, bool withSchema) {
  if (withSchema) {
    saveDatabaseWithSchema(database, path);
  } else {
    saveDatabase(database, path);
  }
}

// Reading with a progress line.
class ProgressSource final : public ByteSource {
 public:
  ProgressSource(ByteSource& source, std::string_view label, long long total)
      : inner(source), progress(label, total), size(total) {}
  size_t read(char* into, size_t capacity) override {
    const size_t count = inner.read(into, capacity);
    done += static_cast<long long>(count);
    progress.update(done, size);
    return count;
  }

 private:
  ByteSource& inner;
  ProgressLine progress;
  long long size;
  long long done = 0;
};

// The one-line document with a line per element: an element holding only text stays on its
// line, every other element's children are indented by two spaces. Text is never touched.
struct TextSink {
  std::string& text;
  void append(std::string_view bytes) { text.append(bytes); }
  void append(char byte) { text.push_back(byte); }
};

void appendIndented(std::string_view oneLine, TextSink out) {
  int depth = 0;
  bool first = true;
  bool afterOpenOrText = false;
  size_t p = 0;
  const auto newLine = [&](int level) {
    if (!first) out.append('\n');
    for (int i = 0; i < level; ++i) out.append("  ");
    first = false;
  };
  while (p < oneLine.size()) {
    if (oneLine[p] != '<') {
      const size_t stop = std::min(oneLine.find('<', p), oneLine.size());
      out.append(oneLine.substr(p, stop - p));
      p = stop;
      afterOpenOrText = true;
      continue;
    }
    size_t stop;
    if (oneLine.compare(p, 4, "<!--") == 0) {
      stop = oneLine.find("-->", p) + 3;
      newLine(depth);
      afterOpenOrText = false;
    } else {
      stop = oneLine.find('>', p) + 1;
      if (oneLine[p + 1] == '/') {
        --depth;
        if (!afterOpenOrText) newLine(depth);
        afterOpenOrText = false;
      } else if (oneLine[stop - 2] == '/') {
        newLine(depth);
        afterOpenOrText = false;
      } else {
        newLine(depth);
        ++depth;
        afterOpenOrText = true;
      }
    }
    out.append(oneLine.substr(p, stop - p));
    p = stop;
  }
  out.append('\n');
}

}  // namespace

const char* typeName(int type) {
  switch (type) {
    case FieldType::Int:
      return "Int";
    case FieldType::String:
      return "String";
    case FieldType::Long:
      return "Long";
    case FieldType::Relation:
      return "Relation";
    default:
      return "?";
  }
}

int findTable(const Database& database, std::string_view name) {
  try {
    return database.tableIndex(name);
  } catch (const Win::Exception&) {
    return -1;
  }
}

int findField(const TableDefinition& definition, std::string_view name) {
  try {
    return definition.fieldIndex(name);
  } catch (const Win::Exception&) {
    return -1;
  }
}

int parseType(const std::string& text) {
  for (const int type : {FieldType::Int, FieldType::String, FieldType::Long, FieldType::Relation}) {
    if (text == typeName(type)) return type;
  }
  return -1;
}

LoadedDatabase DatabaseFile::read(const std::string& path) {
  LoadedDatabase loaded;
  loaded.fileBytes = requireReadable(path);
  loaded.schema = describeFile(path);
  loaded.database = buildDatabase(path, loaded.schema);
  XmlStreamLoader loader(*loaded.database, defaultFileEnv());
  try {
    if (!loader.loadFile(path)) throw CommandError(path + ": not a database file");
  } catch (const Win::Exception& e) {
    if (e.getCode() == kCannotOpenForReading.code) {
      throw CommandError(located(path, loader.getReadError()));
    }
    check(path);  // names the place of an unknown name, where there is one
    throw CommandError(path + ": " + e.getMessage());
  }
  for (TableSchema& table : loaded.schema.tables) {
    const Table& stored = loaded.database->tableByName(table.name);
    table.recordCount = 0;
    for (int r = 0; r < stored.getRecordCount(); ++r)
      table.recordCount += stored.recordExists(r) ? 1 : 0;
  }
  return loaded;
}

SchemaDescription DatabaseFile::check(const std::string& path) {
  const long long size = requireReadable(path);
  SchemaDescription description = describeFile(path);
  for (TableSchema& table : description.tables) table.recordCount = 0;
  {
    // The library decides what is readable, and where it is not; what it reads leniently is
    // looked at below.
    const auto database = buildDatabase(path, description);
    XmlStreamLoader loader(*database, defaultFileEnv());
    try {
      if (!loader.loadFile(path)) throw CommandError(path + ": not a database file");
    } catch (const Win::Exception& e) {
      if (e.getCode() == kCannotOpenForReading.code) {
        throw CommandError(located(path, loader.getReadError()));
      }
    }
  }
  InputFile input(defaultFileEnv(), path);
  try {
    ProgressSource progressed(input, "checking", size);
    RecordScan(description.tables, !description.hasSchema, true).run(progressed);
  } catch (const Finding& finding) {
    const TextPosition position = positionInFile(input, finding.offset);
    throw CommandError(path + ":" + std::to_string(position.getLine()) + ":" +
                       std::to_string(position.getColumn()) + ": " + finding.message);
  }
  return description;
}

SchemaDescription DatabaseFile::describe(const Database& database) {
  SchemaDescription description;
  description.databaseName = database.getName();
  description.version = "1";
  description.hasSchema = true;
  for (int t = 0; t < database.getTableCount(); ++t) {
    if (!database.tableExists(t)) continue;
    const Table& table = database.tableByIndex(t);
    const TableDefinition& definition = table.getDefinition();
    TableSchema entry{database.tableName(t), {}, 0};
    for (int f = 0; f < definition.getFieldCount(); ++f) {
      const int type = definition.fieldType(f);
      entry.fields.push_back({definition.fieldName(f), type,
                              type == FieldType::Relation ? definition.relationTarget(f) : ""});
    }
    for (int r = 0; r < table.getRecordCount(); ++r)
      entry.recordCount += table.recordExists(r) ? 1 : 0;
    description.tables.push_back(std::move(entry));
  }
  return description;
}

void DatabaseFile::write(const std::string& path, Database& database, bool withSchema,
                         bool indent) {
  errno = 0;  // so a failure's reason below is the save's own
  // The indented form is made from the one-line form, saved to a scratch file beside the
  // target; the target is only ever replaced by a complete file.
  const std::string scratch = indent ? path + ".velmora-scratch" : path;
  try {
    saveOneLine(database, scratch, withSchema);
    if (indent) {
      const std::string oneLine = readFile(scratch);
      ::unlink(scratch.c_str());
      std::string bytes;
      appendIndented(oneLine, TextSink{bytes});
      replaceFile(path, bytes);
    }
  } catch (const Win::Exception& e) {
    if (indent) ::unlink(scratch.c_str());
    throw CommandError(path + ": " + e.getMessage() +
                       (errno != 0 ? std::string(" (") + strerror(errno) + ")" : ""));
  } catch (const CommandError&) {
    if (indent) ::unlink(scratch.c_str());
    throw;
  }
}

}  // namespace velmora
