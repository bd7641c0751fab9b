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
#include <unordered_map>

#include "engine/Errors.h"
#include "engine/FieldValue.h"
#include "xml/FileEnv.h"
#include "xml/Persistence.h"
#include "xml/TextCodec.h"

namespace velmora {

namespace {

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// The file's bytes from the start; with untilText, reading stops at the first chunk that
// completes that text (the whole file when it never appears).
std::string readFile(const std::string& path, std::string_view untilText = {}) {
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
    const size_t searchFrom = bytes.size() > untilText.size() ? bytes.size() - untilText.size() : 0;
    bytes.append(chunk, static_cast<size_t>(got));
    if (!untilText.empty() && bytes.find(untilText, searchFrom) != std::string::npos) break;
  }
  ::close(descriptor);
  return bytes;
}

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One token of a document: a tag, a comment or a run of text, as its place in the input.
struct Token {
  enum Kind { StartTag, EndTag, EmptyTag, Comment, Text, End } kind;
  size_t begin;  // the first byte ("<" for markup)
  size_t end;    // one past the last byte
  std::string_view name;
};

// Cuts a document into tokens the way the library's reader does (whitespace before a token is
// skipped), but keeps each token's offset so a failure can name its line and column.
class Tokenizer {
 public:
  explicit Tokenizer(std::string_view input) : text(input) {}

  // Throws a position and message through fail when a token is cut off by the input's end.
  template <typename Fail>
  Token next(Fail&& fail) {
    while (cursor < text.size() && isSpace(text[cursor])) ++cursor;
    const size_t begin = cursor;
    if (begin == text.size()) return {Token::End, begin, begin, {}};
    if (text[begin] == '\0') fail(begin, "a zero byte, which no database file holds");
    if (text[begin] != '<') {
      const size_t stop = text.find('<', begin);
      if (stop == std::string_view::npos) fail(begin, "stray text (no markup follows it)");
      cursor = stop;
      return {Token::Text, begin, stop, {}};
    }
    if (text.compare(begin, 4, "<!--") == 0) {
      const size_t stop = text.find("-->", begin + 4);
      if (stop == std::string_view::npos) fail(begin, "comment not closed");
      cursor = stop + 3;
      return {Token::Comment, begin, cursor, {}};
    }
    const size_t stop = text.find('>', begin);
    if (stop == std::string_view::npos) fail(begin, "tag not closed");
    cursor = stop + 1;
    size_t p = begin + 1;
    const bool closing = text[p] == '/';
    if (closing) ++p;
    while (p < stop && isSpace(text[p])) ++p;
    const size_t nameBegin = p;
    while (p < stop && (isalnum(static_cast<unsigned char>(text[p])) != 0 || text[p] == '_')) ++p;
    Token token{closing ? Token::EndTag : Token::StartTag, begin, cursor,
                text.substr(nameBegin, p - nameBegin)};
    if (!closing && text[stop - 1] == '/') token.kind = Token::EmptyTag;
    return token;
  }

 private:
  std::string_view text;
  size_t cursor = 0;
};

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

// A walk over a whole document: its structure, `info` (name, version, schema) and the tables
// and fields its records use. Strict mode also checks values against the schema.
class Scanner {
 public:
  Scanner(const std::string& filePath, std::string_view input, bool checkValues)
      : path(filePath), text(input), strict(checkValues) {}

  // stopAfterInfo: a file with a schema needs nothing past `info` to be read.
  SchemaDescription scan(bool stopAfterInfo) {
    Tokenizer tokens(text);
    const auto failAt = [this](size_t offset, const std::string& message) {
      fail(offset, message);
    };
    bool sawRoot = false;
    for (;;) {
      const Token token = tokens.next(failAt);
      if (token.kind == Token::End) break;
      if (token.kind == Token::Comment) continue;
      if (open.empty() && sawRoot) fail(token.begin, "content after the database element");
      if (token.kind == Token::Text) {
        if (open.empty()) fail(token.begin, "text outside the database element");
        onText(token);
        continue;
      }
      if (token.kind == Token::EndTag) {
        if (open.empty())
          fail(token.begin, "end tag </" + std::string(token.name) + "> without a start tag");
        if (open.back().name != token.name) {
          fail(token.begin, "end tag </" + std::string(token.name) + "> does not match <" +
                                std::string(open.back().name) + "> at " +
                                position(open.back().begin));
        }
        onEnd(open.back().role);
        open.pop_back();
        if (stopAfterInfo && description.hasSchema && open.size() == 1 && leftInfo) break;
        continue;
      }
      if (open.empty()) {
        if (token.name != "database") fail(token.begin, "the first element is not <database>");
        sawRoot = true;
      }
      onStart(token);
      if (token.kind == Token::StartTag) {
        open.push_back({token.name, token.begin, role});
      } else {
        onEnd(role);
      }
      if (stopAfterInfo && description.hasSchema && open.size() == 1 && leftInfo) break;
    }
    if (!open.empty() && !(stopAfterInfo && leftInfo)) {
      fail(open.back().begin, "<" + std::string(open.back().name) + "> is not closed");
    }
    if (!sawRoot) throw CommandError(path + ": not a database file (no <database> element)");
    if (strict) checkRelations();
    return description;
  }

 private:
  enum class Role {
    Root,
    Info,
    InfoName,
    InfoVersion,
    Schema,
    SchemaTable,
    SchemaTableName,
    SchemaField,
    SchemaFieldPart,
    Data,
    Table,
    Record,
    Field,
    Other
  };
  struct Open {
    std::string_view name;
    size_t begin;
    Role role;
  };

  [[noreturn]] void fail(size_t offset, const std::string& message) const {
    throw CommandError(path + ":" + position(offset) + ": " + message);
  }
  std::string position(size_t offset) const {
    const size_t lineStart = text.rfind('\n', offset == 0 ? 0 : offset - 1);
    const size_t column =
        lineStart == std::string_view::npos || offset == 0 ? offset + 1 : offset - lineStart;
    const long long line =
        1 + std::count(text.begin(), text.begin() + static_cast<ptrdiff_t>(offset), '\n');
    return std::to_string(line) + ":" + std::to_string(column);
  }

  Role parentRole() const { return open.empty() ? Role::Other : open.back().role; }

  void onStart(const Token& token) {
    const Role parent = open.empty() ? Role::Root : parentRole();
    const std::string_view name = token.name;
    role = Role::Other;
    if (open.empty()) {
      role = Role::Root;
    } else if (parent == Role::Root) {
      ++rootChildren;
      if (rootChildren == 1) role = Role::Info;
      if (rootChildren == 2 && name == "data") role = Role::Data;
    } else if (parent == Role::Info) {
      if (name == "name") role = Role::InfoName;
      if (name == "version") role = Role::InfoVersion;
      if (name == "schema") {
        role = Role::Schema;
        description.hasSchema = true;
      }
    } else if (parent == Role::Schema && name == "table") {
      role = Role::SchemaTable;
      description.tables.push_back({});
      schemaStarts.push_back(token.begin);
    } else if (parent == Role::SchemaTable && name == "name") {
      role = Role::SchemaTableName;
    } else if (parent == Role::SchemaTable && name == "field") {
      role = Role::SchemaField;
      description.tables.back().fields.push_back({});
      fieldType.clear();
      fieldStart = token.begin;
    } else if (parent == Role::SchemaField) {
      role = Role::SchemaFieldPart;
      part = name;
    } else if (parent == Role::Data) {
      role = Role::Table;
      enterTable(token);
    } else if (parent == Role::Table && name == "record") {
      role = Role::Record;
      ++currentTable->recordCount;
    } else if (parent == Role::Record) {
      role = Role::Field;
      enterField(token);
    }
  }

  void onText(const Token& token) {
    const Role where = parentRole();
    std::string value;
    decodeMarkup(text.substr(token.begin, token.end - token.begin), value);
    switch (where) {
      case Role::InfoName:
        description.databaseName = value;
        break;
      case Role::InfoVersion:
        description.version = value;
        break;
      case Role::SchemaTableName:
        description.tables.back().name = value;
        break;
      case Role::SchemaFieldPart: {
        FieldSchema& field = description.tables.back().fields.back();
        if (part == "name") field.name = value;
        if (part == "type") fieldType = value;
        if (part == "target") field.target = value;
        break;
      }
      case Role::Field:
        if (strict && currentField != nullptr) checkValue(*currentField, value, token.begin);
        break;
      default:
        break;
    }
  }

  void onEnd(Role closing) {
    if (closing == Role::Info) leftInfo = true;
    if (closing == Role::SchemaField) {
      FieldSchema& field = description.tables.back().fields.back();
      field.type = parseType(fieldType);
      if (field.name.empty()) fail(fieldStart, "a schema field without a name");
      if (field.type < 0)
        fail(fieldStart, "field " + quoted(field.name) + ": unknown type " + quoted(fieldType));
      if (field.type == FieldType::Relation && field.target.empty()) {
        fail(fieldStart, "relation field " + quoted(field.name) + " without a target");
      }
    }
    if (closing == Role::SchemaTable) {
      const TableSchema& table = description.tables.back();
      if (table.name.empty()) fail(schemaStarts.back(), "a schema table without a name");
      for (size_t t = 0; t + 1 < description.tables.size(); ++t) {
        if (description.tables[t].name == table.name) {
          fail(schemaStarts.back(), "table " + quoted(table.name) + " described twice");
        }
      }
    }
    if (closing == Role::Field) currentField = nullptr;
  }

  void enterTable(const Token& token) {
    auto found = std::find_if(description.tables.begin(), description.tables.end(),
                              [&](const TableSchema& t) { return t.name == token.name; });
    if (found == description.tables.end()) {
      if (description.hasSchema) fail(token.begin, "unknown table " + quoted(token.name));
      description.tables.push_back({std::string(token.name), {}, 0});
      found = description.tables.end() - 1;
    }
    currentTable = &*found;
  }

  void enterField(const Token& token) {
    auto& fields = currentTable->fields;
    auto found = std::find_if(fields.begin(), fields.end(),
                              [&](const FieldSchema& f) { return f.name == token.name; });
    if (found == fields.end()) {
      if (description.hasSchema) {
        fail(token.begin,
             "unknown field " + quoted(token.name) + " in table " + quoted(currentTable->name));
      }
      fields.push_back({std::string(token.name), FieldType::String, {}});
      found = fields.end() - 1;
    }
    currentField = description.hasSchema ? &*found : nullptr;
  }

  void checkValue(const FieldSchema& field, const std::string& value, size_t offset) {
    if (field.type == FieldType::String) return;
    long long number = 0;
    if (!parseStrictInt(value, number)) {
      fail(offset, "field " + quoted(field.name) + " of table " + quoted(currentTable->name) +
                       ": " + quoted(value) + " is not a 32-bit integer");
    }
    if (field.type == FieldType::Relation) {
      relations.push_back({&field, currentTable->name, number, offset});
    }
  }

  void checkRelations() const {
    for (const auto& relation : relations) {
      const auto target =
          std::find_if(description.tables.begin(), description.tables.end(),
                       [&](const TableSchema& t) { return t.name == relation.field->target; });
      const long long count = target == description.tables.end() ? 0 : target->recordCount;
      if (relation.value < 0 || relation.value >= count) {
        fail(relation.offset,
             "relation " + quoted(relation.field->name) + " of table " + quoted(relation.table) +
                 ": record " + std::to_string(relation.value) + " does not exist in " +
                 quoted(relation.field->target) + " (" + std::to_string(count) + " records)");
      }
    }
  }

  struct Relation {
    const FieldSchema* field;
    std::string table;
    long long value;
    size_t offset;
  };

  const std::string& path;
  std::string_view text;
  bool strict;
  SchemaDescription description;
  std::vector<Open> open;
  Role role = Role::Other;
  int rootChildren = 0;
  bool leftInfo = false;
  std::vector<size_t> schemaStarts;
  std::string_view part;
  std::string fieldType;
  size_t fieldStart = 0;
  TableSchema* currentTable = nullptr;
  const FieldSchema* currentField = nullptr;
  std::vector<Relation> relations;
};

std::unique_ptr<Database> buildDatabase(const std::string& path, const SchemaDescription& schema) {
  auto database = std::make_unique<Database>(schema.databaseName, 1);
  for (const TableSchema& table : schema.tables) {
    auto definition = std::make_unique<TableDefinition>();
    for (const FieldSchema& field : table.fields) {
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

// Where the schema goes in the library's one-line output: right after the version.
constexpr std::string_view kVersionEnd = "</version>";

void appendEscaped(std::string_view text, std::string& out) {
  for (const char c : text) {
    if (c == '&') {
      out.append("&amp;");
    } else if (c == '<') {
      out.append("&lt;");
    } else if (c == '>') {
      out.append("&gt;");
    } else {
      out.push_back(c);
    }
  }
}

std::string schemaMarkup(const SchemaDescription& schema) {
  std::string out = "<schema>";
  for (const TableSchema& table : schema.tables) {
    out.append("<table><name>");
    appendEscaped(table.name, out);
    out.append("</name>");
    for (const FieldSchema& field : table.fields) {
      out.append("<field><name>");
      appendEscaped(field.name, out);
      out.append("</name><type>");
      out.append(typeName(field.type));
      out.append("</type>");
      if (field.type == FieldType::Relation) {
        out.append("<target>");
        appendEscaped(field.target, out);
        out.append("</target>");
      }
      out.append("</field>");
    }
    out.append("</table>");
  }
  out.append("</schema>");
  return out;
}

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
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0) loaded.fileBytes = static_cast<long long>(status.st_size);
  // A file with a schema describes itself in its first bytes: the records are left to the
  // library's loader. Only a file without one is read through to infer its tables.
  bool described = false;
  try {
    const std::string head = readFile(path, "</info>");
    loaded.schema = Scanner(path, head, false).scan(true);
    described = loaded.schema.hasSchema;
  } catch (const CommandError&) {
    described = false;  // cut off inside a token, or unreadable: the whole file decides
  }
  if (!described) {
    const std::string bytes = readFile(path);
    loaded.schema = Scanner(path, bytes, false).scan(true);
  }
  loaded.database = buildDatabase(path, loaded.schema);
  bool isDatabase = false;
  try {
    isDatabase = loadDatabase(*loaded.database, path);
  } catch (const Win::Exception& e) {
    throw CommandError(path + ": " + e.getMessage());
  }
  if (!isDatabase) throw CommandError(path + ": not a database file");
  for (TableSchema& table : loaded.schema.tables) {
    const Table& stored = loaded.database->tableByName(table.name);
    table.recordCount = 0;
    for (int r = 0; r < stored.recordCount(); ++r)
      table.recordCount += stored.recordExists(r) ? 1 : 0;
  }
  return loaded;
}

SchemaDescription DatabaseFile::check(const std::string& path) {
  const std::string bytes = readFile(path);
  SchemaDescription description = Scanner(path, bytes, true).scan(false);
  if (description.hasSchema) buildDatabase(path, description);  // relation targets resolve
  return description;
}

SchemaDescription DatabaseFile::describe(const Database& database) {
  SchemaDescription description;
  description.databaseName = database.getName();
  description.version = "1";
  description.hasSchema = true;
  for (int t = 0; t < database.tableCount(); ++t) {
    if (!database.tableExists(t)) continue;
    const Table& table = database.tableByIndex(t);
    const TableDefinition& definition = table.getDefinition();
    TableSchema entry{database.tableName(t), {}, 0};
    for (int f = 0; f < definition.fieldCount(); ++f) {
      const int type = definition.fieldType(f);
      entry.fields.push_back({definition.fieldName(f), type,
                              type == FieldType::Relation ? definition.relationTarget(f) : ""});
    }
    for (int r = 0; r < table.recordCount(); ++r)
      entry.recordCount += table.recordExists(r) ? 1 : 0;
    description.tables.push_back(std::move(entry));
  }
  return description;
}

void DatabaseFile::write(const std::string& path, Database& database, bool withSchema,
                         bool indent) {
  // The library's save writes the one-line form to a scratch file beside the target; the final
  // bytes are then written from it, so the target is only ever replaced by a complete file.
  const std::string scratch = path + ".velmora-scratch";
  std::string oneLine;
  errno = 0;  // so a failure's reason below is the save's own
  try {
    saveDatabase(database, scratch);
    oneLine = readFile(scratch);
    ::unlink(scratch.c_str());
    if (withSchema) {
      const size_t at = oneLine.find(kVersionEnd);
      if (at == std::string::npos) throw CommandError(path + ": the saved document has no version");
      oneLine.insert(at + kVersionEnd.size(), schemaMarkup(describe(database)));
    }
    std::string bytes;
    if (indent) {
      appendIndented(oneLine, TextSink{bytes});
    } else {
      bytes = std::move(oneLine);
    }
    FileEnv& env = defaultFileEnv();
    FileFailure failure;
    if (!atomicReplace(
            env, path,
            [&](int descriptor) { return writeAll(env, descriptor, bytes.data(), bytes.size()); },
            failure)) {
      throw CommandError(path + ": " + failure.describe());
    }
  } catch (const Win::Exception& e) {
    ::unlink(scratch.c_str());
    throw CommandError(path + ": " + e.getMessage() +
                       (errno != 0 ? std::string(" (") + strerror(errno) + ")" : ""));
  }
}

}  // namespace velmora
