#include "xml/SchemaReader.h"

#include <string.h>

#include <algorithm>
#include <memory>
#include <string_view>

#include "engine/Errors.h"
#include "engine/FieldValue.h"
#include "xml/InputFile.h"
#include "xml/TextCodec.h"

namespace velmora {

namespace {

// A schema that cannot describe a database: what is wrong, and at which token.
struct SchemaFailure {
  long long offset;
  std::string message;
};

bool isBlank(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
  });
}

struct TypeName {
  const char* name;
  int type;
};
constexpr TypeName kTypes[] = {
    {"Int", FieldType::Int},
    {"String", FieldType::String},
    {"Long", FieldType::Long},
    {"Relation", FieldType::Relation},
};

}  // namespace

// One pass over the tokens up to the end of info. Each element of the schema is read by its
// own function, entered with its start tag current and left with its end tag current.
class SchemaReader::Parse {
 public:
  Parse(ByteSource& source, size_t windowSize) : lexer(source, windowSize) {}

  FileSchema run() {
    FileSchema schema;
    advance();
    if (!isStart() || lexer.tagNameView() != "database") return schema;
    schema.isDatabase = true;
    if (lexer.getKind() == TokenKind::EmptyTag) return schema;
    advance();
    if (!isStart() || lexer.tagNameView() != "info") return schema;
    schema.hasInfo = true;
    if (lexer.getKind() == TokenKind::EmptyTag) return schema;
    readInfo(schema);
    return schema;
  }

  XmlLexer lexer;

 private:
  // The next token that is not a comment.
  void advance() {
    do {
      lexer.next();
    } while (lexer.getKind() == TokenKind::Comment);
  }
  bool isStart() const {
    return lexer.getKind() == TokenKind::StartTag || lexer.getKind() == TokenKind::EmptyTag;
  }
  [[noreturn]] void failHere(std::string message) const {
    throw SchemaFailure{lexer.getTokenOffset(), std::move(message)};
  }

  // Walks the children of the element `name` whose start tag is current, handing each child
  // element to child with its start tag current (it must leave its end tag current); blank
  // texts are skipped, other texts fail.
  template <typename Child>
  void children(const std::string& name, Child&& child) {
    if (lexer.getKind() == TokenKind::EmptyTag) return;
    for (advance();; advance()) {
      switch (lexer.getKind()) {
        case TokenKind::StartTag:
        case TokenKind::EmptyTag:
          child(std::string(lexer.tagNameView()));
          break;
        case TokenKind::EndTag:
          if (lexer.tagNameView() != name) {
            failHere("mismatched end tag </" + std::string(lexer.tagNameView()) + ">, expected </" +
                     name + ">");
          }
          return;
        case TokenKind::Text:
          if (!isBlank(lexer.tokenView())) failHere("unexpected text in <" + name + ">");
          break;
        case TokenKind::End:
          failHere("unexpected end of file");
        default:
          break;
      }
    }
  }

  // Passes over the element whose start tag is current, whatever it holds.
  void skip() {
    if (lexer.getKind() == TokenKind::EmptyTag) return;
    for (int depth = 1; depth > 0;) {
      advance();
      if (lexer.getKind() == TokenKind::StartTag) ++depth;
      if (lexer.getKind() == TokenKind::EndTag) --depth;
      if (lexer.getKind() == TokenKind::End) failHere("unexpected end of file");
    }
  }

  // Reads a leaf into value, once.
  void leaf(const std::string& name, const std::string& parent, bool& seen, std::string& value) {
    if (seen) failHere("repeated <" + name + "> in <" + parent + ">");
    seen = true;
    value = leafText(name);
  }

  // The decoded texts of a leaf element whose start tag is current; comments are skipped.
  std::string leafText(const std::string& name) {
    std::string out;
    if (lexer.getKind() == TokenKind::EmptyTag) return out;
    for (advance();; advance()) {
      switch (lexer.getKind()) {
        case TokenKind::Text:
          decodeMarkup(lexer.tokenView(), out);
          break;
        case TokenKind::EndTag:
          if (lexer.tagNameView() != name) {
            failHere("mismatched end tag </" + std::string(lexer.tagNameView()) + ">, expected </" +
                     name + ">");
          }
          return out;
        case TokenKind::End:
          failHere("unexpected end of file");
        case TokenKind::StartTag:
        case TokenKind::EmptyTag:
          failHere("unexpected element <" + std::string(lexer.tagNameView()) + "> in <" + name +
                   ">");
        default:
          break;
      }
    }
  }

  void readInfo(FileSchema& schema) {
    bool seenName = false;
    bool seenVersion = false;
    children("info", [&](const std::string& child) {
      if (child == "name") {
        leaf(child, "info", seenName, schema.databaseName);
      } else if (child == "version") {
        leaf(child, "info", seenVersion, schema.version);
      } else if (child == "schema") {
        if (schema.hasSchema) failHere("repeated <schema> in <info>");
        schema.hasSchema = true;
        children("schema", [&](const std::string& table) {
          if (table != "table") failHere("unexpected element <" + table + "> in <schema>");
          schema.tables.push_back(readTable(schema.tables));
        });
      } else {
        skip();  // room for later additions
      }
    });
  }

  // A name given twice would send two tables' records, or two fields' values, to one of them.
  SchemaTable readTable(const std::vector<SchemaTable>& before) {
    const long long start = lexer.getTokenOffset();
    SchemaTable table;
    bool seenName = false;
    children("table", [&](const std::string& child) {
      if (child == "name") {
        leaf(child, "table", seenName, table.name);
      } else if (child == "field") {
        const long long fieldStart = lexer.getTokenOffset();
        SchemaField field = readField();
        for (const SchemaField& other : table.fields) {
          if (other.name == field.name) {
            throw SchemaFailure{fieldStart, "repeated field name \"" + field.name + "\""};
          }
        }
        table.fields.push_back(std::move(field));
      } else {
        failHere("unexpected element <" + child + "> in <table>");
      }
    });
    if (!seenName) throw SchemaFailure{start, "table without a name"};
    for (const SchemaTable& other : before) {
      if (other.name == table.name) {
        throw SchemaFailure{start, "repeated table name \"" + table.name + "\""};
      }
    }
    return table;
  }

  SchemaField readField() {
    const long long start = lexer.getTokenOffset();
    SchemaField field;
    bool seenName = false;
    bool seenType = false;
    bool seenTarget = false;
    long long typeOffset = 0;
    std::string type;
    children("field", [&](const std::string& child) {
      if (child == "name") {
        leaf(child, "field", seenName, field.name);
      } else if (child == "type") {
        typeOffset = lexer.getTokenOffset();
        leaf(child, "field", seenType, type);
      } else if (child == "target") {
        leaf(child, "field", seenTarget, field.target);
      } else {
        failHere("unexpected element <" + child + "> in <field>");
      }
    });
    if (!seenName) throw SchemaFailure{start, "field without a name"};
    if (!seenType) throw SchemaFailure{start, "field \"" + field.name + "\" without a type"};
    const TypeName* known = std::find_if(std::begin(kTypes), std::end(kTypes),
                                         [&](const TypeName& t) { return type == t.name; });
    if (known == std::end(kTypes)) {
      throw SchemaFailure{typeOffset, "unknown field type \"" + type + "\""};
    }
    field.type = known->type;
    if (field.type == FieldType::Relation && !seenTarget) {
      throw SchemaFailure{start, "relation field \"" + field.name + "\" without a target"};
    }
    if (field.type != FieldType::Relation && seenTarget) {
      throw SchemaFailure{start, "target on field \"" + field.name + "\", which is no Relation"};
    }
    return field;
  }
};

// Reads the schema from source into schema; false, with readError's message set and offset at the
// byte that could not be read, when the schema is refused or the lexer fails. Other failures
// (the input cannot be read) pass on.
bool SchemaReader::parse(ByteSource& source, FileSchema& schema, long long& offset) {
  Parse reading(source, windowSize);
  try {
    schema = reading.run();
    return true;
  } catch (const SchemaFailure& failure) {
    offset = failure.offset;
    readError.message = failure.message;
  } catch (...) {
    if (reading.lexer.getFailure() == nullptr) throw;
    offset = reading.lexer.getFailureOffset();
    readError.message = reading.lexer.getFailure();
  }
  return false;
}

FileSchema SchemaReader::readFile(const std::string& fileName, FileEnv& env) {
  readError = ReadError();
  std::unique_ptr<InputFile> file;
  FileSchema schema;
  long long offset = -1;
  try {
    file = std::make_unique<InputFile>(env, fileName);
    if (parse(*file, schema, offset)) return schema;
  } catch (const Win::Exception& e) {
    readError.message = e.getMessage();
  } catch (...) {
    readError.message = "the input cannot be read";
  }
  if (offset >= 0) {
    try {
      const TextPosition position = positionInFile(*file, offset);
      readError.line = position.getLine();
      readError.column = position.getColumn();
    } catch (...) {  // the place is lost, not the failure
    }
  }
  throwError(kCannotOpenForReading);
}

FileSchema SchemaReader::read(const char* begin, const char* end) {
  readError = ReadError();
  MemorySource memory(begin, end);
  FileSchema schema;
  long long offset = 0;
  if (parse(memory, schema, offset)) return schema;
  TextPosition position;
  position.advance(begin, static_cast<size_t>(offset));
  readError.line = position.getLine();
  readError.column = position.getColumn();
  throwError(kCannotOpenForReading);
}

}  // namespace velmora
