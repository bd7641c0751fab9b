#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/WinCode.h"
#include "xml/XmlLexer.h"

using namespace velmora;

namespace {

// The tokens as "kind:text" with kinds E (empty), S (start), T (text), C (comment), / (end).
template <typename... Input>
std::string tokens(const Input&... input) {
  XmlLexer lexer(input...);
  std::string out;
  for (; lexer.getKind() != TokenKind::End; lexer.next()) {
    static const char kLetters[] = "ES/TC";
    out += kLetters[static_cast<int>(lexer.getKind())];
    out += ':';
    out += lexer.tokenText();
    out += '|';
  }
  return out;
}

TEST(XmlLexerTest, CutsInputIntoTokens) {
  const struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {"<a>x</a>", "S:<a>|T:x|/:</a>|"},
      {"<a/><b x='1'/>", "E:<a/>|E:<b x='1'/>|"},
      {"<!--c--><!---->", "C:c-->|C:-->|"},
      {"<!x><!-x>", "S:<!x>|S:<!-x>|"},  // "<!" without a comment reads as a tag
      {"</>", "/:</>|"},
      // Whitespace between markup is skipped, also before the end of the input.
      {" \t\r\n<a>\n  <b/>\n</a>\n", "S:<a>|E:<b/>|/:</a>|"},
      {"<a>\n  <b>x</b>\n  </a>", "S:<a>|S:<b>|T:x|/:</b>|/:</a>|"},
      // A text keeps its leading and trailing whitespace.
      {"<a>  x y \n</a>", "S:<a>|T:  x y \n|/:</a>|"},
      // Whitespace alone between a start and an end tag is the element's content.
      {"<a> </a><b>\r</b><c>\r\n\t</c>",
       "S:<a>|T: |/:</a>|S:<b>|T:\r|/:</b>|S:<c>|T:\r\n\t|/:</c>|"},
      {"<a/> </a>", "E:<a/>|/:</a>|"},
      // Bytes 128 to 255 are ordinary text; 255 does not end the input.
      {"<a>\xff\x80 \xa0</a>\xff<b/>", "S:<a>|T:\xff\x80 \xa0|/:</a>|T:\xff|E:<b/>|"},
      // The first zero byte ends the input where a token would begin.
      {std::string("<a>\0<b>", 7), "S:<a>|"},
  };
  for (const auto& c : cases) EXPECT_EQ(tokens(c.input.c_str()), c.expected) << c.input;
}

TEST(XmlLexerTest, InputEndingInsideATokenFails) {
  const struct {
    std::string input;
    int code;
  } cases[] = {
      {"<a", 200},
      {"<a>text", 200},
      {std::string("<a>te\0xt</a>", 12), 200},  // a zero byte inside a text
      {std::string("<a\0>", 4), 200},
      {"<!-- no end", 201},
      {"<!-- almost --", 201},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_WIN_CODE(tokens(c.input.c_str()), c.code);
  }
}

TEST(XmlLexerTest, TagNameIsTheRunOfNameCharacters) {
  const struct {
    const char* tag;
    const char* name;
  } cases[] = {
      {"<abc def='1'>", "abc"}, {"< \tx_1 >", "x_1"},  {"</ name >", "name"}, {"<a-b>", "a"},
      {"<\xe9t\xe9>", ""},      {"<my table/>", "my"}, {"<!x>", ""},
  };
  for (const auto& c : cases) {
    XmlLexer lexer(c.tag);
    EXPECT_EQ(lexer.tagName(), c.name) << c.tag;
  }
}

// Tokens are views into the input: long ones come out whole, and an input given by its end
// stops there (or at a zero byte before it) without reading further.
TEST(XmlLexerTest, LongTokensAndInputsGivenByTheirEnd) {
  const std::string longText(2000, 'x');
  const std::string longComment(3000, 'c');
  EXPECT_EQ(tokens(("<a>" + longText + "</a><!--" + longComment + "--><b>y</b>").c_str()),
            "S:<a>|T:" + longText + "|/:</a>|C:" + longComment + "-->|S:<b>|T:y|/:</b>|");

  const struct {
    std::string input;  // all of it is handed over, with nothing after it in memory
    std::string expected;
    int code;
  } cases[] = {
      {"<a>x</a><b", "", 200},
      {"<a", "", 200},
      {"<!--", "", 201},
      {"<a>x</a> \n", "S:<a>|T:x|/:</a>|", 0},
      {std::string("<a>\0</a>", 8), "S:<a>|", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    const std::unique_ptr<char[]> bytes(new char[c.input.size()]);
    memcpy(bytes.get(), c.input.data(), c.input.size());
    auto read = [&] { return tokens(bytes.get(), bytes.get() + c.input.size()); };
    if (c.code != 0) {
      EXPECT_WIN_CODE(read(), c.code);
    } else {
      EXPECT_EQ(read(), c.expected);
    }
  }
}

// A source that hands out at most `piece` bytes per read, so that every window size meets every
// cut of the input.
class PieceSource final : public ByteSource {
 public:
  PieceSource(const std::string& bytes, size_t piece) : input(bytes), size(piece) {}
  size_t read(char* into, size_t capacity) override {
    const size_t count = std::min({capacity, size, input.size() - done});
    input.copy(into, count, done);
    done += count;
    return count;
  }

 private:
  const std::string& input;
  size_t size;
  size_t done = 0;
};

// The tokens of input read through a window as tokens() writes them, then the failure's code and
// offset when reading fails.
std::string cutStream(const std::string& input, size_t window, size_t piece) {
  PieceSource source(input, piece);
  XmlLexer lexer(source, window);
  std::string out;
  try {
    for (lexer.next(); lexer.getKind() != TokenKind::End; lexer.next()) {
      out += "ES/TC"[static_cast<int>(lexer.getKind())];
      out += ':' + lexer.tokenText() + '|';
    }
  } catch (const Win::Exception& e) {
    out +=
        "code " + std::to_string(e.getCode()) + " at " + std::to_string(lexer.getFailureOffset());
  }
  return out;
}

}  // namespace

// Streamed through any window, an input cuts into the same tokens as in memory, and fails with
// the same code at the same offset.
TEST(XmlLexerTest, StreamedInputCutsAsInMemoryForEveryWindow) {
  const std::string inputs[] = {
      "<a>x</a><b",
      "<!--",
      "<!-->",
      "<a> \n </a>  t <",
      "  <!-- c -->\n<a/><b >\r\n</b >tail",
      std::string("<a>x\0<b>", 8),
      "<!x>< a/>< / a><>",
      "<a>" + std::string(70, 'v') + "</a>",
  };
  for (const std::string& input : inputs) {
    // One window holding the whole input: read as in memory.
    const std::string expected = cutStream(input, input.size() + 1, input.size() + 1);
    for (size_t window = 1; window <= 17; ++window) {
      for (size_t piece : {size_t{1}, size_t{3}, size_t{64}}) {
        EXPECT_EQ(cutStream(input, window, piece), expected)
            << input << " window " << window << " piece " << piece;
      }
    }
  }
}

TEST(XmlLexerTest, LineBreaksAreLfCrLfOrALoneCr) {
  const struct {
    std::string bytes;
    long long line;
    long long column;
  } cases[] = {
      {"", 1, 1},     {"ab", 1, 3},       {"a\nb", 2, 2}, {"a\r\nb", 2, 2},
      {"a\rb", 2, 2}, {"\r\r\n\n", 4, 1}, {"\n\r", 3, 1}, {"a\r", 2, 1},
  };
  for (const auto& c : cases) {
    TextPosition position;
    // Cut in two, so that a CR LF split between two pieces counts once.
    const size_t half = c.bytes.size() / 2;
    position.advance(c.bytes.data(), half);
    position.advance(c.bytes.data() + half, c.bytes.size() - half);
    EXPECT_EQ(position.getLine(), c.line) << c.bytes;
    EXPECT_EQ(position.getColumn(), c.column) << c.bytes;
  }
}
