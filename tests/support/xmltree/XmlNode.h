// The in-memory XML document (a test oracle for the streaming reader and writer): element, text and
// comment nodes linked as sibling chains.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace velmora {

// The kind code of a node.
enum class NodeKind : int {
  Element = 1,
  Text = 2,
  Comment = 3,
};

class XmlElement;

// One node of a document. A node owns its next sibling, so the first node of a chain owns the
// whole chain; an element also owns its first child. A document is handed around as the owning
// pointer to its first top-level node. Destruction is a loop over the chain and everything below
// it: neither a long sibling chain nor deep nesting costs stack. Not thread-safe.
class XmlNode {
 public:
  virtual ~XmlNode();
  XmlNode(const XmlNode&) = delete;
  XmlNode& operator=(const XmlNode&) = delete;

  NodeKind getKind() const { return kind; }
  // The element whose child this node is; null at the top level.
  XmlElement* getParent() const { return parent; }
  XmlNode* getNext() const { return next.get(); }
  // This node as an element, or null when it is not one.
  const XmlElement* asElement() const;

  // Takes the node (possibly the head of a chain) and attaches it after the last node of this
  // node's chain; every attached node gets this node's parent. Returns the new last node of the
  // chain. A null node changes nothing (the result is then the chain's last node).
  XmlNode* appendSibling(std::unique_ptr<XmlNode> node);

 protected:
  explicit XmlNode(NodeKind nodeKind) : kind(nodeKind) {}

 private:
  friend class XmlElement;

  // Links the chain headed by node after last and gives each node of it newParent; returns the
  // chain's last node.
  static XmlNode* attachAfter(XmlNode* last, std::unique_ptr<XmlNode> node, XmlElement* newParent);

  XmlElement* parent = nullptr;
  NodeKind kind;
  std::unique_ptr<XmlNode> next;
};

class XmlElement final : public XmlNode {
 public:
  explicit XmlElement(std::string elementName);
  ~XmlElement() override;

  const std::string& getName() const { return name; }
  XmlNode* getFirstChild() const { return firstChild.get(); }

  // Takes the node (possibly the head of a chain) as the last children; returns the new last
  // child. Appending is amortised constant time however many children there are.
  XmlNode* addChild(std::unique_ptr<XmlNode> node);

 private:
  friend class XmlNode;

  // Moves the children into this node's sibling chain, right after this node, so that the
  // destructor's loop reaches them without recursion.
  void spliceChildrenIntoChain();

  std::string name;
  std::unique_ptr<XmlNode> firstChild;
  XmlNode* lastChild = nullptr;  // a child at or before the end of the children's chain
};

// Text content. The constructor keeps the bytes exactly as given: text taken from a database
// value is escaped on writing, never decoded first. Text read from a file is decoded by
// fromMarkup.
class XmlText final : public XmlNode {
 public:
  explicit XmlText(std::string content) : XmlNode(NodeKind::Text), text(std::move(content)) {}

  // Text read between markup, decoded by velmora::decodeMarkup.
  static std::unique_ptr<XmlText> fromMarkup(std::string_view raw);

  const std::string& getText() const { return text; }

 private:
  std::string text;
};

// A comment; its text is kept and written unchanged.
class XmlComment final : public XmlNode {
 public:
  explicit XmlComment(std::string content) : XmlNode(NodeKind::Comment), text(std::move(content)) {}

  const std::string& getText() const { return text; }

 private:
  std::string text;
};

}  // namespace velmora
