#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/xmltree/XmlNode.h"
#include "tests/support/xmltree/XmlTreeWriter.h"
#include "tests/xml/XmlTestSupport.h"

using namespace velmora;

namespace {

TEST(XmlNodeTest, AppendedChainsTakeTheParentOfTheNodeTheyFollow) {
  XmlElement parent("p");
  XmlNode* first = parent.addChild(std::make_unique<XmlText>("a"));
  auto chain = std::make_unique<XmlElement>("b");
  chain->appendSibling(std::make_unique<XmlComment>("c"));
  XmlNode* last = first->appendSibling(std::move(chain));  // through a child, not the parent

  EXPECT_EQ(last->getKind(), NodeKind::Comment);
  int count = 0;
  for (const XmlNode* node = parent.getFirstChild(); node; node = node->getNext()) {
    EXPECT_EQ(node->getParent(), &parent);
    ++count;
  }
  EXPECT_EQ(count, 3);
  // The parent's own append finds the true end although a child appended behind its back.
  EXPECT_EQ(parent.addChild(std::make_unique<XmlText>("d"))->getParent(), &parent);
  std::string out;
  writeXml(&parent, out);
  EXPECT_EQ(out, "<p>a<b/><!--c-->d</p>");
}

TEST(XmlNodeTest, TextKeepsItsBytesAndFromMarkupDecodes) {
  EXPECT_EQ(XmlText("&amp;\r&lt;").getText(), "&amp;\r&lt;");
  const struct {
    const char* raw;
    const char* decoded;
  } cases[] = {
      {"a&amp;b&lt;c&gt;d", "a&b<c>d"},
      {"&amp&lt", "&amp&lt"},  // one entity runs to the ";" or the end: "&amp&lt" is unknown
      {"x&amp", "x&"},
      {"&nbsp;y", "&nbspy"},  // an unknown entity keeps its bytes and loses its ";"
      {"a\rb\r\n", "a\rb\r\n"},
      {"&", "&"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(XmlText::fromMarkup(c.raw)->getText(), c.decoded) << c.raw;
  }
}

TEST(XmlNodeTest, LongChainsAndDeepNestingAreDestroyedWithoutRecursion) {
  bool done = false;
  ASSERT_TRUE(runOnSmallStack([&] {
    auto siblings = std::make_unique<XmlElement>("s");
    XmlNode* last = siblings.get();
    for (int i = 0; i < 300000; ++i) last = last->appendSibling(std::make_unique<XmlText>("t"));
    siblings.reset();

    auto nested = std::make_unique<XmlElement>("n");
    XmlElement* inner = nested.get();
    for (int i = 0; i < 300000; ++i) {
      inner = static_cast<XmlElement*>(inner->addChild(std::make_unique<XmlElement>("n")));
    }
    std::string out;
    writeXml(nested.get(), out);           // the writer walks the depth without recursion too
    done = out.size() == 300000u * 7 + 4;  // "<n>" and "</n>" each, "<n/>" innermost
    nested.reset();
  }));
  EXPECT_TRUE(done);
}

}  // namespace
