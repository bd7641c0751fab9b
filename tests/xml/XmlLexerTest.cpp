#include <string.h>

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

}  // namespace

TEST(TokenBufferTest, ScansKeepOrSkipTheDelimiter) {
  const std::string input = "<a>text<!--x-->";
  const char* begin = input.data();
  TokenBuffer buffer(begin, begin + input.size());
  buffer.readUntil(begin, begin, '>', true);
  EXPECT_EQ(buffer.getToken(), "<a>");
  EXPECT_EQ(buffer.getCursor(), begin + 3);
  buffer.readUntil(begin + 3, begin + 3, '<', false);
  EXPECT_EQ(buffer.getToken(), "text");
  EXPECT_EQ(*buffer.getCursor(), '<');
  buffer.readUntilText(begin + 11, "-->");
  EXPECT_EQ(buffer.getToken(), "x-->");
  EXPECT_EQ(buffer.getCursor(), begin + input.size());
  EXPECT_WIN_CODE(buffer.readUntil(begin, begin, '#', false), 200);
  EXPECT_WIN_CODE(buffer.readUntilText(begin, "]]>"), 201);
}
