#include "tests/reliability/ReferenceReader.h"

#include <string.h>

#include <algorithm>
#include <utility>

namespace velmora {

namespace {

enum class Token { End, StartTag, EmptyTag, EndTag, Text, Comment };

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Cuts the input into tokens: whitespace before a token is skipped, except that a text keeps
// the whitespace it starts with and whitespace alone between a start tag and an end tag is
// that element's text.
class Lexer {
 public:
  explicit Lexer(std::string text) : input(std::move(text)) { next(); }

  Token kind() const { return current; }
  const std::string& token() const { return bytes; }

  void next() {
    const size_t start = position;
    while (position < input.size() && isSpace(input[position])) ++position;
    const Token previous = current;
    if (position == input.size()) {
      current = Token::End;
      return;
    }
    if (input[position] != '<' ||
        (at(position + 1) == '/' && previous == Token::StartTag && position > start)) {
      position = start;
      current = Token::Text;
      const size_t lt = input.find('<', position);
      if (lt == std::string::npos) throw ReadFailure{200};
      bytes = input.substr(position, lt - position);
      position = lt;
      return;
    }
    if (at(position + 1) == '!' && at(position + 2) == '-' && at(position + 3) == '-') {
      position += 4;
      current = Token::Comment;
      const size_t close = input.find("-->", position);
      if (close == std::string::npos) throw ReadFailure{201};
      bytes = input.substr(position, close + 3 - position);
      position = close + 3;
      return;
    }
    current = at(position + 1) == '/' ? Token::EndTag : Token::StartTag;
    const size_t gt = input.find('>', position);
    if (gt == std::string::npos) throw ReadFailure{200};
    bytes = input.substr(position, gt + 1 - position);
    position = gt + 1;
    if (current == Token::StartTag && bytes.size() >= 4 && bytes[bytes.size() - 2] == '/') {
      current = Token::EmptyTag;
    }
  }

  std::string tagName() const {
    size_t i = 0;
    while (i < bytes.size() && isSpace(bytes[i])) ++i;
    if (i < bytes.size() && bytes[i] == '<') {
      ++i;
      while (i < bytes.size() && isSpace(bytes[i])) ++i;
    }
    if (i < bytes.size() && bytes[i] == '/') {
      ++i;
      while (i < bytes.size() && isSpace(bytes[i])) ++i;
    }
    const size_t first = i;
    while (i < bytes.size() && isNameByte(bytes[i])) ++i;
    return bytes.substr(first, i - first);
  }

 private:
  char at(size_t i) const { return i < input.size() ? input[i] : '\0'; }

  std::string input;
  size_t position = 0;
  Token current = Token::End;
  std::string bytes;
};

// "&amp", "&lt" and "&gt", with or without ";", become their characters; any other "&" run up
// to ";" keeps its bytes but loses the ";".
std::string decodeText(const std::string& raw) {
  std::string out;
  size_t i = 0;
  while (i < raw.size()) {
    if (raw[i] != '&') {
      out += raw[i++];
      continue;
    }
    const size_t semicolon = raw.find(';', i);
    const size_t end = semicolon == std::string::npos ? raw.size() : semicolon;
    const std::string entity = raw.substr(i, end - i);
    if (entity == "&amp") {
      out += '&';
    } else if (entity == "&lt") {
      out += '<';
    } else if (entity == "&gt") {
      out += '>';
    } else {
      out += entity;
    }
    i = semicolon == std::string::npos ? raw.size() : semicolon + 1;
  }
  return out;
}

}  // namespace

ModelDocument readModelDocument(const std::string& bytes) {
  Lexer lexer(std::string(bytes.c_str()));  // the input ends at its first zero byte
  ModelDocument document;
  ModelNode* current = nullptr;
  auto attach = [&](std::unique_ptr<ModelNode> node) {
    ModelNode* added = node.get();
    if (current != nullptr) {
      node->parent = current;
      current->children.push_back(std::move(node));
    } else if (document.topLevel.empty()) {
      document.topLevel.push_back(std::move(node));
    } else if (added->isElement && document.topLevel.front()->isElement) {
      // A later element outside every open element becomes a child of an element root.
      node->parent = document.topLevel.front().get();
      document.topLevel.front()->children.push_back(std::move(node));
    } else {
      document.topLevel.push_back(std::move(node));
    }
    return added;
  };
  for (; lexer.kind() != Token::End; lexer.next()) {
    switch (lexer.kind()) {
      case Token::StartTag:
      case Token::EmptyTag: {
        auto element = std::make_unique<ModelNode>();
        element->isElement = true;
        element->name = lexer.tagName();
        ModelNode* added = attach(std::move(element));
        if (lexer.kind() == Token::StartTag) current = added;
        break;
      }
      case Token::EndTag:
        if (current == nullptr || lexer.tagName() != current->name) throw ReadFailure{104};
        current = current->parent;
        break;
      case Token::Text: {
        auto text = std::make_unique<ModelNode>();
        text->text = decodeText(lexer.token());
        attach(std::move(text));
        break;
      }
      case Token::Comment:
      case Token::End:
        break;
    }
  }
  return document;
}

namespace {

// The schema rules, one function per element, each entered with its start tag current and left
// with its end tag current: comments are skipped, blank texts between elements too; any other
// text, an unexpected element, a mismatched end tag or the end of the input is a refusal.
class SchemaWalk {
 public:
  explicit SchemaWalk(const std::string& bytes) : lexer(std::string(bytes.c_str())) {}

  ModelSchema run() {
    ModelSchema schema;
    skipComments();
    if (!isStart() || lexer.tagName() != "database") return schema;
    schema.isDatabase = true;
    if (lexer.kind() == Token::EmptyTag) return schema;
    advance();
    if (!isStart() || lexer.tagName() != "info" || lexer.kind() == Token::EmptyTag) return schema;
    bool seenName = false;
    bool seenVersion = false;
    std::string version;
    children("info", [&](const std::string& child) {
      if (child == "name") {
        leaf(child, seenName, schema.databaseName);
      } else if (child == "version") {
        leaf(child, seenVersion, version);
      } else if (child == "schema") {
        if (schema.hasSchema) refuse();
        schema.hasSchema = true;
        children("schema", [&](const std::string& table) {
          if (table != "table") refuse();
          schema.tables.push_back(readTable());
          for (size_t i = 0; i + 1 < schema.tables.size(); ++i) {
            if (schema.tables[i].name == schema.tables.back().name) refuse();
          }
        });
      } else {
        skipElement();
      }
    });
    return schema;
  }

 private:
  [[noreturn]] static void refuse() { throw ReadFailure{0}; }
  bool isStart() const {
    return lexer.kind() == Token::StartTag || lexer.kind() == Token::EmptyTag;
  }
  void skipComments() {
    while (lexer.kind() == Token::Comment) lexer.next();
  }
  void advance() {
    lexer.next();
    skipComments();
  }

  template <typename Child>
  void children(const std::string& name, Child&& child) {
    if (lexer.kind() == Token::EmptyTag) return;
    for (advance();; advance()) {
      if (isStart()) {
        child(lexer.tagName());
      } else if (lexer.kind() == Token::EndTag) {
        if (lexer.tagName() != name) refuse();
        return;
      } else if (lexer.kind() != Token::Text ||
                 !std::all_of(lexer.token().begin(), lexer.token().end(), isSpace)) {
        refuse();
      }
    }
  }

  void skipElement() {
    if (lexer.kind() == Token::EmptyTag) return;
    for (int depth = 1; depth > 0;) {
      advance();
      if (lexer.kind() == Token::StartTag) ++depth;
      if (lexer.kind() == Token::EndTag) --depth;
      if (lexer.kind() == Token::End) refuse();
    }
  }

  void leaf(const std::string& name, bool& seen, std::string& value) {
    if (seen) refuse();
    seen = true;
    if (lexer.kind() == Token::EmptyTag) return;
    for (advance();; advance()) {
      if (lexer.kind() == Token::Text) {
        value += decodeText(lexer.token());
      } else if (lexer.kind() == Token::EndTag && lexer.tagName() == name) {
        return;
      } else {
        refuse();
      }
    }
  }

  ModelSchemaTable readTable() {
    ModelSchemaTable table;
    bool seenName = false;
    children("table", [&](const std::string& child) {
      if (child == "name") {
        leaf(child, seenName, table.name);
      } else if (child == "field") {
        table.fields.push_back(readField());
        for (size_t i = 0; i + 1 < table.fields.size(); ++i) {
          if (table.fields[i].name == table.fields.back().name) refuse();
        }
      } else {
        refuse();
      }
    });
    if (!seenName) refuse();
    return table;
  }

  ModelSchemaField readField() {
    ModelSchemaField field;
    bool seenName = false;
    bool seenType = false;
    bool seenTarget = false;
    children("field", [&](const std::string& child) {
      if (child == "name") {
        leaf(child, seenName, field.name);
      } else if (child == "type") {
        leaf(child, seenType, field.type);
      } else if (child == "target") {
        leaf(child, seenTarget, field.target);
      } else {
        refuse();
      }
    });
    static const char* const kTypes[] = {"Int", "String", "Long", "Relation"};
    if (!seenName || !seenType ||
        std::find(std::begin(kTypes), std::end(kTypes), field.type) == std::end(kTypes) ||
        (field.type == "Relation") != seenTarget) {
      refuse();
    }
    return field;
  }

  Lexer lexer;
};

}  // namespace

ModelSchema readModelSchema(const std::string& bytes) { return SchemaWalk(bytes).run(); }

}  // namespace velmora
