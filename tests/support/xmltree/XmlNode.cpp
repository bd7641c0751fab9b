#include "tests/support/xmltree/XmlNode.h"

#include <utility>

#include "xml/TextCodec.h"

namespace velmora {

XmlNode::~XmlNode() {
  // Each node is unlinked before it dies, and an element's children are spliced into the
  // pending chain first, so every destructor below runs with nothing left to own.
  std::unique_ptr<XmlNode> pending = std::move(next);
  while (pending) {
    if (pending->kind == NodeKind::Element) {
      static_cast<XmlElement&>(*pending).spliceChildrenIntoChain();
    }
    pending = std::move(pending->next);
  }
}

const XmlElement* XmlNode::asElement() const {
  return kind == NodeKind::Element ? static_cast<const XmlElement*>(this) : nullptr;
}

XmlNode* XmlNode::attachAfter(XmlNode* last, std::unique_ptr<XmlNode> node, XmlElement* newParent) {
  last->next = std::move(node);
  XmlNode* walk = last->next.get();
  walk->parent = newParent;
  while (walk->next) {
    walk = walk->next.get();
    walk->parent = newParent;
  }
  return walk;
}

XmlNode* XmlNode::appendSibling(std::unique_ptr<XmlNode> node) {
  if (parent != nullptr) return parent->addChild(std::move(node));
  XmlNode* last = this;
  while (last->next) last = last->next.get();
  if (!node) return last;
  return attachAfter(last, std::move(node), nullptr);
}

XmlElement::XmlElement(std::string elementName)
    : XmlNode(NodeKind::Element), name(std::move(elementName)) {}

XmlElement::~XmlElement() { spliceChildrenIntoChain(); }

void XmlElement::spliceChildrenIntoChain() {
  if (!firstChild) return;
  XmlNode* last = lastChild;
  while (last->next) last = last->next.get();
  last->next = std::move(next);
  next = std::move(firstChild);
  lastChild = nullptr;
}

XmlNode* XmlElement::addChild(std::unique_ptr<XmlNode> node) {
  if (!node) {
    if (lastChild == nullptr) return nullptr;
    while (lastChild->next) lastChild = lastChild->next.get();
    return lastChild;
  }
  if (!firstChild) {
    firstChild = std::move(node);
    XmlNode* walk = firstChild.get();
    walk->parent = this;
    while (walk->next) {
      walk = walk->next.get();
      walk->parent = this;
    }
    lastChild = walk;
    return walk;
  }
  XmlNode* last = lastChild;
  while (last->next) last = last->next.get();
  lastChild = attachAfter(last, std::move(node), this);
  return lastChild;
}

std::unique_ptr<XmlText> XmlText::fromMarkup(std::string_view raw) {
  std::string decoded;
  decoded.reserve(raw.size());
  decodeMarkup(raw, decoded);
  return std::make_unique<XmlText>(std::move(decoded));
}

}  // namespace velmora
