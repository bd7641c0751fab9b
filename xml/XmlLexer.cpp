#include "xml/XmlLexer.h"

#include <stddef.h>
#include <string.h>

#include "engine/Errors.h"
#include "engine/SameBytes.h"

namespace velmora {

namespace {

enum CharacterClass : unsigned char {
  kOther = 0,
  kWhitespace = 1,
  kNameCharacter = 2,
  kTextStop = 3,  // ends a run of plain text: "<" and "&"
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
    classes[static_cast<unsigned char>('<')] = kTextStop;          // markup
    classes[static_cast<unsigned char>('&')] = kTextStop;          // an entity
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
bool isTextStop(char c) { return kCharacters.classes[static_cast<unsigned char>(c)] == kTextStop; }

constexpr std::string_view kCommentEnd = "-->";

// The first delimiter in [from, end), or nullptr. Most tokens are short, so the first bytes are
// looked at one by one before the rest is left to memchr.
const char* find(const char* from, const char* end, char delimiter) {
  constexpr ptrdiff_t kShortScan = 16;
  const char* const shortEnd = end - from > kShortScan ? from + kShortScan : end;
  for (const char* p = from; p < shortEnd; ++p) {
    if (*p == delimiter) return p;
  }
  if (shortEnd >= end) return nullptr;
  return static_cast<const char*>(memchr(shortEnd, delimiter, static_cast<size_t>(end - shortEnd)));
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

void TextPosition::advance(const char* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const char c = bytes[i];
    if (c == '\n') {
      if (!afterCarriageReturn) ++line;  // the LF of CR LF ends no second line
      column = 1;
    } else if (c == '\r') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
    afterCarriageReturn = c == '\r';
  }
}

XmlLexer::XmlLexer(const char* input) : XmlLexer(input, input + strlen(input)) {}

XmlLexer::XmlLexer(const char* begin, const char* inputEnd)
    : base(begin), cursor(begin), end(inputEnd) {
  const void* zero =
      begin < inputEnd ? memchr(begin, '\0', static_cast<size_t>(inputEnd - begin)) : nullptr;
  if (zero != nullptr) end = static_cast<const char*>(zero);
  next();
}

XmlLexer::XmlLexer(ByteSource& input, size_t bufferSize)
    : source(&input),
      storage(std::make_unique<char[]>(bufferSize > 0 ? bufferSize : 1)),
      capacity(bufferSize > 0 ? bufferSize : 1),
      base(storage.get()),
      cursor(base),
      end(base),
      exhausted(false) {}

void XmlLexer::next() {
  while (!scan()) refill(cursor);
}

bool XmlLexer::nextLeaf(std::string_view& content) {
  return kind == TokenKind::StartTag && closeLeaf(cursor, name, content);
}

bool XmlLexer::nextLeaf(std::string_view expected, std::string_view& content) {
  const size_t size = expected.size();
  const char* const p = skipWhitespace(cursor, end);
  // "<expected>" is a start tag of that name: the name holds only name characters.
  if (static_cast<size_t>(end - p) < size + 2 || p[0] != '<' || p[size + 1] != '>' ||
      !sameBytes(p + 1, expected.data(), size)) {
    return false;
  }
  return closeLeaf(p + size + 2, std::string_view(p + 1, size), content);
}

bool XmlLexer::closeLeaf(const char* start, std::string_view tagName, std::string_view& content) {
  const size_t size = tagName.size();
  if (size == 0) return false;
  // The text runs to the first "<"; an "&" on the way is noted.
  const char* stop = start;
  bool ampersand = false;
  for (;;) {
    while (stop < end && !isTextStop(*stop)) ++stop;
    if (stop == end) return false;
    if (*stop == '<') break;
    ampersand = true;
    ++stop;
  }
  if (stop == start) return false;
  if (static_cast<size_t>(end - stop) < size + 3 || stop[1] != '/' || stop[size + 2] != '>' ||
      !sameBytes(stop + 2, tagName.data(), size)) {
    return false;
  }
  content = std::string_view(start, static_cast<size_t>(stop - start));
  contentAmpersand = ampersand;
  kind = TokenKind::EndTag;
  name = std::string_view(stop + 2, size);
  token = std::string_view(stop, size + 3);
  tokenOffset = offsetOf(stop);
  cursor = stop + size + 3;
  return true;
}

bool XmlLexer::needMore(const char* at, const ErrorRow& row, const char* description) {
  if (!exhausted) return false;
  failure = description;
  failureOffset = offsetOf(at);
  throwError(row);
}

bool XmlLexer::scan() {
  const char* const start = cursor;
  const char* const p = skipWhitespace(start, end);
  if (p == end) {
    if (!exhausted) return false;
    cursor = p;
    kind = TokenKind::End;
    token = std::string_view();
    tokenOffset = offsetOf(p);
    return true;
  }
  // Up to four bytes decide the kind of token; past the input's end they read as zero.
  if (end - p < 4 && !exhausted) return false;
  const auto peek = [&](ptrdiff_t ahead) { return end - p > ahead ? p[ahead] : '\0'; };
  // A text keeps the whitespace it starts with, and whitespace alone between a start tag and an
  // end tag is that element's content.
  if (*p != '<' || (peek(1) == '/' && kind == TokenKind::StartTag && p > start)) {
    const char* const stop = find(p, end, '<');
    if (stop == nullptr) {
      return needMore(p, kDelimiterNotFound, "unexpected end of file");
    }
    kind = TokenKind::Text;
    token = std::string_view(start, static_cast<size_t>(stop - start));
    tokenOffset = offsetOf(p);
    cursor = stop;
    return true;
  }
  if (peek(1) == '!' && peek(2) == '-' && peek(3) == '-') {
    const std::string_view rest(p + 4, static_cast<size_t>(end - (p + 4)));
    const size_t at = rest.find(kCommentEnd);
    if (at == std::string_view::npos) {
      return needMore(p, kDelimiterTextNotFound, "unterminated comment");
    }
    kind = TokenKind::Comment;
    token = std::string_view(p + 4, at + kCommentEnd.size());
    tokenOffset = offsetOf(p);
    cursor = token.data() + token.size();
    return true;
  }
  // Most tags are a bare name right after "<" or "</", closed at once by ">".
  const bool endTag = peek(1) == '/';
  const char* q = endTag ? p + 2 : p + 1;
  const char* const first = q;
  while (q < end && isNameCharacter(*q)) ++q;
  if (q > first && q < end && *q == '>') {
    name = std::string_view(first, static_cast<size_t>(q - first));
    token = std::string_view(p, static_cast<size_t>(q + 1 - p));
    tokenOffset = offsetOf(p);
    cursor = q + 1;
    kind = endTag ? TokenKind::EndTag : TokenKind::StartTag;
    return true;
  }
  // "<!" not opening a comment reads as a start tag up to its ">", like any other tag. The name
  // holds no ">", so the search for it starts after the name.
  const std::string_view tagName = nameIn(p, end);
  const char* const stop = find(tagName.data() + tagName.size(), end, '>');
  if (stop == nullptr) return needMore(p, kDelimiterNotFound, "unterminated tag");
  name = tagName;
  token = std::string_view(p, static_cast<size_t>(stop + 1 - p));
  tokenOffset = offsetOf(p);
  cursor = stop + 1;
  if (token[1] == '/') {
    kind = TokenKind::EndTag;
  } else if (token.size() >= 4 && token[token.size() - 2] == '/') {
    kind = TokenKind::EmptyTag;
  } else {
    kind = TokenKind::StartTag;
  }
  return true;
}

void XmlLexer::refill(const char* keep) {
  char* const window = storage.get();
  const size_t kept = static_cast<size_t>(end - keep);
  baseOffset = offsetOf(keep);
  if (kept == capacity) {
    // One token fills the whole window: it grows, so that every token fits once read.
    auto bigger = std::make_unique<char[]>(capacity * 2);
    memcpy(bigger.get(), keep, kept);
    storage = std::move(bigger);
    capacity *= 2;
  } else if (kept > 0 && keep != window) {
    memmove(window, keep, kept);
  }
  char* const filled = storage.get();
  base = filled;
  cursor = filled;
  end = filled + kept;
  const size_t count = source->read(filled + kept, capacity - kept);
  if (count == 0) {
    exhausted = true;
    return;
  }
  const void* zero = memchr(filled + kept, '\0', count);
  if (zero != nullptr) {  // the input ends at its first zero byte: nothing after it is read
    end = static_cast<const char*>(zero);
    exhausted = true;
  } else {
    end += count;
  }
}

std::string_view XmlLexer::nameInToken() const {
  return nameIn(token.data(), token.data() + token.size());
}

}  // namespace velmora
