#include "tests/support/xmltree/XmlParser.h"

#include <utility>

#include "engine/Errors.h"
#include "xml/XmlLexer.h"

namespace velmora {

std::unique_ptr<XmlNode> XmlParser::parse() {
  std::unique_ptr<XmlNode> root;
  XmlNode* topLast = nullptr;     // the last node of the top-level chain
  XmlElement* current = nullptr;  // the innermost open element
  // A node outside every open element: the first becomes the root; later elements become
  // children of an element root, texts (and elements after a non-element root) its siblings.
  auto addAtTop = [&](std::unique_ptr<XmlNode> node, bool isElement) {
    if (!root) {
      root = std::move(node);
      topLast = root.get();
    } else if (isElement && root->getKind() == NodeKind::Element) {
      static_cast<XmlElement&>(*root).addChild(std::move(node));
    } else {
      topLast = topLast->appendSibling(std::move(node));
    }
  };

  for (TokenKind kind = lexer.getKind(); kind != TokenKind::End;
       lexer.next(), kind = lexer.getKind()) {
    switch (kind) {
      case TokenKind::StartTag:
      case TokenKind::EmptyTag: {
        auto element = std::make_unique<XmlElement>(std::string(lexer.tagNameView()));
        XmlElement* opened = element.get();
        if (current != nullptr) {
          current->addChild(std::move(element));
        } else {
          addAtTop(std::move(element), true);
        }
        // An empty tag never stays open, not even as the document's first node.
        if (kind == TokenKind::StartTag) current = opened;
        break;
      }
      case TokenKind::EndTag:
        if (current == nullptr || lexer.tagNameView() != current->getName()) {
          throwError(kTagNotClosed);
        }
        current = current->getParent();
        break;
      case TokenKind::Text: {
        std::unique_ptr<XmlText> text = XmlText::fromMarkup(lexer.tokenView());
        if (current != nullptr) {
          current->addChild(std::move(text));
        } else {
          addAtTop(std::move(text), false);
        }
        break;
      }
      case TokenKind::Comment:
        break;
      default:
        throwError(kTokenNotRecognised);
    }
  }
  return root;
}

std::unique_ptr<XmlNode> parseXml(const char* input) {
  XmlLexer lexer(input);
  return XmlParser(lexer).parse();
}

}  // namespace velmora
