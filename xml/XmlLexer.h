// XmlLexer: cuts an input, held in memory or read piece by piece, into tags, texts and comments.
#pragma once

#include <stddef.h>
#include <string.h>

#include <memory>
#include <string>
#include <string_view>

namespace velmora {

struct ErrorRow;

// The kind code of the current token.
enum class TokenKind : int {
  EmptyTag = 0,  // "<name/>": the whole tag
  StartTag = 1,  // "<name>": the whole tag
  EndTag = 2,    // "</name>": the whole tag
  Text = 3,      // the bytes up to the next "<"
  Comment = 4,   // the bytes after "<!--" up to and including "-->"
  End = 5,       // no token: the input's end was reached where a token would begin
};

// Where a streaming lexer gets its input from.
class ByteSource {
 public:
  // Copies the next bytes, at most capacity (at least 1), to into: how many, 0 only at the end
  // of the input. Throws when the input cannot be read.
  virtual size_t read(char* into, size_t capacity) = 0;

 protected:
  ~ByteSource() = default;
};

// The bytes of a caller's buffer, up to its end. Borrows the buffer.
class MemorySource final : public ByteSource {
 public:
  MemorySource(const char* begin, const char* end) : next(begin), last(end) {}
  size_t read(char* into, size_t capacity) override {
    const size_t count =
        capacity < static_cast<size_t>(last - next) ? capacity : static_cast<size_t>(last - next);
    if (count > 0) memcpy(into, next, count);
    next += count;
    return count;
  }

 private:
  const char* next;
  const char* last;
};

// Line and column of a place in an input, counted over the bytes before it. LF, CR LF and a
// lone CR each end one line; columns count bytes. Both start at 1.
class TextPosition {
 public:
  void advance(const char* bytes, size_t count);
  long long getLine() const { return line; }
  long long getColumn() const { return column; }

 private:
  long long line = 1;
  long long column = 1;
  bool afterCarriageReturn = false;
};

// Reads tokens from an input; the first zero byte, or the input's end, ends it. A token and a
// tag's name are views into the lexer's window on the input: nothing is copied per token, and a
// view stays valid until the next call of next(). Whitespace between markup is skipped, but a
// text keeps its leading whitespace, and whitespace alone between a start tag and an end tag is
// a text token: the content of that element. Bytes 128 to 255 are ordinary text, never
// whitespace or part of a name. Not thread-safe.
class XmlLexer {
 public:
  // The window on a streamed input when the caller names no size.
  static constexpr size_t kDefaultBufferSize = size_t{256} << 10;

  // A zero-terminated input that the caller keeps alive. Reads the first token; throws as next
  // does.
  explicit XmlLexer(const char* input);
  // The bytes from begin up to end or up to the first zero byte before it; nothing at or after
  // end is read. Reads the first token; throws as next does.
  XmlLexer(const char* begin, const char* end);
  // The bytes of source, read into a window of bufferSize bytes (at least 1) that is refilled as
  // tokens are consumed; a token longer than the window grows it to the token's size. Borrows
  // source. Reads nothing yet: the first next() reads the first token (so that a caller can ask
  // where it failed).
  XmlLexer(ByteSource& source, size_t bufferSize);
  XmlLexer(const XmlLexer&) = delete;
  XmlLexer& operator=(const XmlLexer&) = delete;

  // Reads the next token. Codes: 200 "delimiter not found" (a tag or text that the input ends
  // inside), 201 (a comment that the input ends inside); the failing token's offset and a
  // description are kept for getFailure. A streamed input also throws what its source throws.
  void next();
  // Right after a start tag "<name>": when the window already holds a text that is not empty and
  // "</name>" right after it, reads both at once, as next() twice would: content is the text,
  // and the end tag is the current token. False, changing nothing, otherwise.
  bool nextLeaf(std::string_view& content);
  // The same for a start tag "<expected>" that comes next, after any whitespace: expected must
  // hold only name characters.
  bool nextLeaf(std::string_view expected, std::string_view& content);
  // Whether the content the last nextLeaf read holds an "&".
  bool leafHoldsAmpersand() const { return contentAmpersand; }
  TokenKind getKind() const { return kind; }

  // The name in the current tag: after "<" and "/" and any whitespace, the longest run of ASCII
  // letters, digits and "_" (possibly empty). Attributes and anything else are ignored.
  std::string_view tagNameView() const {
    const bool tag =
        kind == TokenKind::StartTag || kind == TokenKind::EmptyTag || kind == TokenKind::EndTag;
    return tag ? name : nameInToken();
  }
  std::string tagName() const { return std::string(tagNameView()); }
  // The current token's bytes.
  std::string_view tokenView() const { return token; }
  std::string tokenText() const { return std::string(token); }
  // The offset in the input of the current token's first byte that is not leading whitespace
  // (at End: of the input's end).
  long long getTokenOffset() const { return tokenOffset; }

  // After next() failed: the offset of the token that could not be read and what went wrong;
  // nullptr while nothing failed.
  const char* getFailure() const { return failure; }
  long long getFailureOffset() const { return failureOffset; }

 private:
  // Cuts the next token out of the window; false, changing nothing, when the window ends inside
  // it and more input may follow.
  bool scan();
  // The text from start and the end tag of tagName after it, as nextLeaf reads them.
  bool closeLeaf(const char* start, std::string_view tagName, std::string_view& content);
  // The name as a tag's would be read from the current token (a text, a comment or none).
  std::string_view nameInToken() const;
  // The window ends inside a token: false while more input may follow, otherwise throws row.
  bool needMore(const char* at, const ErrorRow& row, const char* description);
  // Moves the bytes from keep on to the front of the window (growing it when they fill it) and
  // reads more after them.
  void refill(const char* keep);
  long long offsetOf(const char* p) const { return baseOffset + (p - base); }

  ByteSource* source = nullptr;
  std::unique_ptr<char[]> storage;  // the window of a streamed input
  size_t capacity = 0;
  const char* base;    // the window's first byte
  const char* cursor;  // where the next token's scan begins
  const char* end;     // the window's end
  long long baseOffset = 0;
  bool exhausted = true;  // nothing follows the window's end

  TokenKind kind = TokenKind::End;
  std::string_view token;
  std::string_view name;  // of the current tag
  long long tokenOffset = 0;
  const char* failure = nullptr;
  long long failureOffset = 0;
  bool contentAmpersand = false;  // of the last leaf
};

}  // namespace velmora
