#include "xml/XmlLexer.h"

#include <stddef.h>
#include <string.h>

#include "engine/Errors.h"

namespace velmora {

namespace {

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

constexpr std::string_view kCommentEnd = "-->";

// The first delimiter in [from, end); code 200 when there is none. Most tokens are short, so
// the first bytes are looked at one by one before the rest is left to memchr.
const char* find(const char* from, const char* end, char delimiter) {
  constexpr ptrdiff_t kShortScan = 16;
  const char* const shortEnd = end - from > kShortScan ? from + kShortScan : end;
  for (const char* p = from; p < shortEnd; ++p) {
    if (*p == delimiter) return p;
  }
  const void* found = memchr(shortEnd, delimiter, static_cast<size_t>(end - shortEnd));
  if (found == nullptr) throwError(kDelimiterNotFound);
  return static_cast<const char*>(found);
}

const char* skipWhitespace(const char* p, const char* end) {
  while (p < end && isWhitespace(*p)) ++p;
  return p;
}

// The name in a tag that starts at p: after "<" and "/" and any whitespace, the longest run of
// name characters.
std::string_view nameIn(const char* p, const char* end) {
  p = skipWhitespace(p, end);
  if (p < end && *p == '<') p = skipWhitespace(p + 1, end);
  if (p < end && *p == '/') p = skipWhitespace(p + 1, end);
  const char* const first = p;
  while (p < end && isNameCharacter(*p)) ++p;
  return std::string_view(first, static_cast<size_t>(p - first));
}

}  // namespace

void TokenBuffer::readUntil(const char* from, const char* searchFrom, char delimiter,
                            bool include) {
  const char* const stop = find(searchFrom, end, delimiter);
  const char* const after = include ? stop + 1 : stop;
  token = std::string_view(from, static_cast<size_t>(after - from));
  cursor = after;
}

void TokenBuffer::readUntilText(const char* from, std::string_view delimiter) {
  const size_t at = std::string_view(from, static_cast<size_t>(end - from)).find(delimiter);
  if (at == std::string_view::npos) throwError(kDelimiterTextNotFound);
  token = std::string_view(from, at + delimiter.size());
  cursor = from + token.size();
}

XmlLexer::XmlLexer(const char* input) : buffer(input, input + strlen(input)) { next(); }

XmlLexer::XmlLexer(const char* begin, const char* inputEnd) : buffer(begin, inputEnd) {
  const void* zero =
      begin < inputEnd ? memchr(begin, '\0', static_cast<size_t>(inputEnd - begin)) : nullptr;
  if (zero != nullptr) buffer.setEnd(static_cast<const char*>(zero));
  next();
}

void XmlLexer::next() {
  const char* const start = buffer.getCursor();
  const char* const end = buffer.getEnd();
  const char* const cursor = skipWhitespace(start, end);
  buffer.setCursor(cursor);
  const TokenKind previous = kind;
  if (cursor == end) {
    kind = TokenKind::End;
    buffer.clear();
    return;
  }
  // A text keeps the whitespace it starts with, and whitespace alone between a start tag and an
  // end tag is that element's content.
  if (*cursor != '<' || (peek(1) == '/' && previous == TokenKind::StartTag && cursor > start)) {
    kind = TokenKind::Text;
    buffer.readUntil(start, start, '<', false);
    return;
  }
  if (peek(1) == '!' && peek(2) == '-' && peek(3) == '-') {
    kind = TokenKind::Comment;
    buffer.readUntilText(cursor + 4, kCommentEnd);
    return;
  }
  // "<!" not opening a comment reads as a start tag up to its ">", like any other tag. The name
  // holds no ">", so the search for it starts after the name.
  name = nameIn(cursor, end);
  buffer.readUntil(cursor, name.data() + name.size(), '>', true);
  const std::string_view token = buffer.getToken();
  if (token[1] == '/') {
    kind = TokenKind::EndTag;
  } else if (token.size() >= 4 && token[token.size() - 2] == '/') {
    kind = TokenKind::EmptyTag;
  } else {
    kind = TokenKind::StartTag;
  }
}

std::string_view XmlLexer::tagNameView() const {
  if (kind == TokenKind::StartTag || kind == TokenKind::EmptyTag || kind == TokenKind::EndTag) {
    return name;
  }
  const std::string_view token = buffer.getToken();
  return nameIn(token.data(), token.data() + token.size());
}

}  // namespace velmora
