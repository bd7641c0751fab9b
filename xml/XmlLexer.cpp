#include "xml/XmlLexer.h"

#include <string.h>

#include "engine/Errors.h"

namespace {

constexpr size_t kInitialCapacity = 1024;

enum CharacterClass : unsigned char {
  kOther = 0,
  kWhitespace = 1,
  kNameCharacter = 2,
};

struct CharacterTable {
  unsigned char classes[256] = {};

  constexpr CharacterTable() {
    classes[static_cast<unsigned char>(' ')] = kWhitespace;        // space
    classes[static_cast<unsigned char>('\t')] = kWhitespace;       // tab
    classes[static_cast<unsigned char>('\n')] = kWhitespace;       // line feed
    classes[static_cast<unsigned char>('\v')] = kWhitespace;       // vertical tab
    classes[static_cast<unsigned char>('\f')] = kWhitespace;       // form feed
    classes[static_cast<unsigned char>('\r')] = kWhitespace;       // carriage return
    for (int c = '0'; c <= '9'; ++c) classes[c] = kNameCharacter;  // digits
    for (int c = 'A'; c <= 'Z'; ++c) classes[c] = kNameCharacter;  // upper-case letters
    for (int c = 'a'; c <= 'z'; ++c) classes[c] = kNameCharacter;  // lower-case letters
    classes[static_cast<unsigned char>('_')] = kNameCharacter;     // underscore
    // Bytes 128 to 255 stay kOther: they carry no meaning of their own here.
  }
};

constexpr CharacterTable kCharacters;

bool isWhitespace(char c) {
  return kCharacters.classes[static_cast<unsigned char>(c)] == kWhitespace;
}
bool isNameCharacter(char c) {
  return kCharacters.classes[static_cast<unsigned char>(c)] == kNameCharacter;
}

}  // namespace

TokenBuffer::TokenBuffer(const char** inputCursor, const char* inputEnd)
    : cursor(inputCursor),
      end(inputEnd),
      capacity(kInitialCapacity),
      bytes(std::make_unique<char[]>(kInitialCapacity)) {}

void TokenBuffer::store(const char* from, size_t count, size_t needed) {
  if (needed > capacity) {
    bytes = std::make_unique<char[]>(needed);
    capacity = needed;
  }
  memcpy(bytes.get(), from, count);
  bytes[count] = '\0';
  length = count;
}

void TokenBuffer::readUntil(char delimiter, bool include) {
  const char* from = *cursor;
  const void* found = memchr(from, delimiter, static_cast<size_t>(end - from));
  if (found == nullptr) throwError(kDelimiterNotFound);
  const char* at = static_cast<const char*>(found);
  const size_t count = static_cast<size_t>(at - from) + (include ? 1 : 0);
  store(from, count, static_cast<size_t>(at - from) + 2);
  *cursor = from + count;
}

void TokenBuffer::readUntilText(std::string_view delimiter) {
  const char* from = *cursor;
  const std::string_view rest(from, static_cast<size_t>(end - from));
  const size_t at = rest.find(delimiter);
  if (at == std::string_view::npos) throwError(kDelimiterTextNotFound);
  const size_t count = at + delimiter.size();
  store(from, count, count + 1);
  *cursor = from + count;
}

XmlLexer::XmlLexer(const char* input)
    : cursor(input), end(input + strlen(input)), buffer(&cursor, end) {
  next();
}

void XmlLexer::next() {
  const char* const start = cursor;
  while (cursor < end && isWhitespace(*cursor)) ++cursor;
  const TokenKind previous = kind;
  if (cursor == end) {
    kind = TokenKind::End;
    return;
  }
  if (*cursor != '<') {
    // A text keeps the whitespace it starts with.
    cursor = start;
    kind = TokenKind::Text;
    buffer.readUntil('<', false);
    return;
  }
  // The input ends with a zero byte, so looking up to three bytes past a "<" stays inside it.
  if (cursor[1] == '/' && previous == TokenKind::StartTag && cursor > start) {
    // Whitespace alone between a start tag and an end tag is that element's content.
    cursor = start;
    kind = TokenKind::Text;
    buffer.readUntil('<', false);
    return;
  }
  if (cursor[1] == '!' && cursor[2] == '-' && cursor[3] == '-') {
    cursor += 4;
    kind = TokenKind::Comment;
    buffer.readUntilText("-->");
    return;
  }
  // "<!" not opening a comment reads as a start tag up to its ">", like any other tag.
  kind = cursor[1] == '/' ? TokenKind::EndTag : TokenKind::StartTag;
  buffer.readUntil('>', true);
  const std::string_view tag = buffer.view();
  if (kind == TokenKind::StartTag && tag.size() >= 4 && tag[tag.size() - 2] == '/') {
    kind = TokenKind::EmptyTag;
  }
}

std::string_view XmlLexer::tagNameView() const {
  const std::string_view token = buffer.view();
  size_t i = 0;
  while (i < token.size() && isWhitespace(token[i])) ++i;
  if (i < token.size() && token[i] == '<') {
    ++i;
    while (i < token.size() && isWhitespace(token[i])) ++i;
  }
  if (i < token.size() && token[i] == '/') {
    ++i;
    while (i < token.size() && isWhitespace(token[i])) ++i;
  }
  const size_t first = i;
  while (i < token.size() && isNameCharacter(token[i])) ++i;
  return token.substr(first, i - first);
}
