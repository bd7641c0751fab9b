// XmlLexer and TokenBuffer: cut a zero-terminated input into tags, texts and comments.
#pragma once

#include <stddef.h>

#include <memory>
#include <string>
#include <string_view>

// The kind code of the current token.
enum class TokenKind : int {
  EmptyTag = 0,  // "<name/>": the whole tag
  StartTag = 1,  // "<name>": the whole tag
  EndTag = 2,    // "</name>": the whole tag
  Text = 3,      // the bytes up to the next "<"
  Comment = 4,   // the bytes after "<!--" up to and including "-->"
  End = 5,       // no token: the input's end was reached where a token would begin
};

// The text of the current token, copied out of the input. Starts with 1024 bytes and grows only
// when a token does not fit, to the token's length plus 2 (plus the delimiter's length plus 1
// for a comment); it never shrinks. Reads the input through the lexer's cursor and moves it.
// Not thread-safe.
class TokenBuffer {
 public:
  // cursor points to the lexer's cursor; end is the input's terminating zero.
  TokenBuffer(const char** cursor, const char* end);

  // Copies the bytes from the cursor up to the first delimiter; with include, the delimiter too
  // and the cursor moves past it, otherwise the cursor stops on it. Code 200 "delimiter not
  // found" when the input ends first.
  void readUntil(char delimiter, bool include);
  // Copies the bytes from the cursor up to and including the first occurrence of delimiter and
  // moves the cursor past it. Code 201 "delimiter not found" when the input ends first.
  void readUntilText(std::string_view delimiter);

  // The current token; valid until the next read.
  std::string_view view() const { return std::string_view(bytes.get(), length); }
  size_t getCapacity() const { return capacity; }

 private:
  void store(const char* from, size_t count, size_t needed);

  const char** cursor;
  const char* end;
  size_t capacity;
  size_t length = 0;
  std::unique_ptr<char[]> bytes;
};

// Reads tokens from a zero-terminated input that the caller keeps alive; the first zero byte is
// the end of the input. Whitespace between markup is skipped, but a text keeps its leading
// whitespace, and whitespace alone between a start tag and an end tag is a text token: the
// content of that element. Bytes 128 to 255 are ordinary text, never whitespace or part of a
// name. Not thread-safe.
class XmlLexer {
 public:
  // Reads the first token; throws as next does.
  explicit XmlLexer(const char* input);
  XmlLexer(const XmlLexer&) = delete;
  XmlLexer& operator=(const XmlLexer&) = delete;

  // Reads the next token. Codes: 200 (a tag or text that the input ends inside), 201 (a comment
  // that the input ends inside).
  void next();
  TokenKind getKind() const { return kind; }

  // The name in the current tag: after "<" and "/" and any whitespace, the longest run of ASCII
  // letters, digits and "_" (possibly empty). Attributes and anything else are ignored. The view
  // is valid until the next token.
  std::string_view tagNameView() const;
  std::string tagName() const { return std::string(tagNameView()); }
  // The current token's bytes; the view is valid until the next token.
  std::string_view tokenView() const { return buffer.view(); }
  std::string tokenText() const { return std::string(buffer.view()); }

 private:
  const char* cursor;
  const char* end;
  TokenKind kind = TokenKind::End;
  TokenBuffer buffer;
};
