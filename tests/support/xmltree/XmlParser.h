// XmlParser: builds a node tree from the lexer's tokens (a test oracle for the streaming reader).
#pragma once

#include <memory>
#include <string>

#include "tests/support/xmltree/XmlNode.h"

namespace velmora {

class XmlLexer;

// Turns the tokens of one lexer into a document, in one loop without recursion: the open
// elements are found again through their parent links. Comments are dropped; elements still
// open at the end are accepted as they stand. Borrows the lexer. Not thread-safe.
class XmlParser {
 public:
  explicit XmlParser(XmlLexer& tokenSource) : lexer(tokenSource) {}

  // Reads tokens up to the end of the input and returns the document (its first top-level
  // node; null when there is none). Codes: 104 "tag not closed" (an end tag that does not name
  // the innermost open element, or one with no element open), 106 (a token kind it does not
  // know), and the lexer's 200 and 201.
  std::unique_ptr<XmlNode> parse();

 private:
  XmlLexer& lexer;
};

// Parses a zero-terminated input (ending at its first zero byte). Throws the parser's codes.
std::unique_ptr<XmlNode> parseXml(const char* input);

}  // namespace velmora
