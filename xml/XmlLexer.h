// XmlLexer: cuts an input into tags, texts and comments.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// The kind code of the current token.
enum class TokenKind : int {
  EmptyTag = 0,  // "<name/>": the whole tag
  StartTag = 1,  // "<name>": the whole tag
  EndTag = 2,    // "</name>": the whole tag
  Text = 3,      // the bytes up to the next "<"
  Comment = 4,   // the bytes after "<!--" up to and including "-->"
  End = 5,       // no token: the input's end was reached where a token would begin
};

// The current token and the scans that cut it out of the input. A token is kept as its place in
// the input (which outlives the lexer's use of it) rather than copied into a buffer of its own,
// so no token costs an allocation, however long. Not thread-safe.
class TokenBuffer {
 public:
  TokenBuffer(const char* begin, const char* inputEnd) : cursor(begin), end(inputEnd) {}

  // The token runs from `from` up to the first `delimiter` at or after `searchFrom`; with
  // include the delimiter belongs to the token and the cursor moves past it, otherwise the
  // cursor stands on it. Code 200 "delimiter not found" when the input holds none.
  void readUntil(const char* from, const char* searchFrom, char delimiter, bool include);
  // The token runs from `from` up to and including the first occurrence of `delimiter`; the
  // cursor moves past it. Code 201 "delimiter not found" when there is none.
  void readUntilText(const char* from, std::string_view delimiter);
  void clear() { token = std::string_view(); }

  std::string_view getToken() const { return token; }
  const char* getCursor() const { return cursor; }
  void setCursor(const char* position) { cursor = position; }
  const char* getEnd() const { return end; }
  void setEnd(const char* position) { end = position; }

 private:
  const char* cursor;
  const char* end;
  std::string_view token;
};

// Reads tokens from an input that the caller keeps alive; the first zero byte, or the end given,
// ends the input. A token and a tag's name are views into the input itself: nothing is copied,
// and a view stays valid as long as the input. Whitespace between markup is skipped, but a text
// keeps its leading whitespace, and whitespace alone between a start tag and an end tag is a
// text token: the content of that element. Bytes 128 to 255 are ordinary text, never whitespace
// or part of a name. Not thread-safe.
class XmlLexer {
 public:
  // A zero-terminated input. Reads the first token; throws as next does.
  explicit XmlLexer(const char* input);
  // The bytes from begin up to end or up to the first zero byte before it; nothing at or after
  // end is read. Reads the first token; throws as next does.
  XmlLexer(const char* begin, const char* end);
  XmlLexer(const XmlLexer&) = delete;
  XmlLexer& operator=(const XmlLexer&) = delete;

  // Reads the next token. Codes: 200 "delimiter not found" (a tag or text that the input ends
  // inside), 201 (a comment that the input ends inside).
  void next();
  TokenKind getKind() const { return kind; }

  // The name in the current tag: after "<" and "/" and any whitespace, the longest run of ASCII
  // letters, digits and "_" (possibly empty). Attributes and anything else are ignored.
  std::string_view tagNameView() const;
  std::string tagName() const { return std::string(tagNameView()); }
  // The current token's bytes.
  std::string_view tokenView() const { return buffer.getToken(); }
  std::string tokenText() const { return std::string(buffer.getToken()); }

 private:
  // The byte `ahead` bytes after the cursor, or zero at and beyond the end.
  char peek(size_t ahead) const {
    const char* const cursor = buffer.getCursor();
    return static_cast<size_t>(buffer.getEnd() - cursor) > ahead ? cursor[ahead] : '\0';
  }

  TokenBuffer buffer;
  TokenKind kind = TokenKind::End;
  std::string_view name;  // of the current tag
};

}  // namespace velmora
