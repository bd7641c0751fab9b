#include <string>

#include <gtest/gtest.h>

#include "tests/support/WinCode.h"
#include "tests/support/xmltree/XmlParser.h"
#include "tests/support/xmltree/XmlTreeWriter.h"
#include "tests/xml/XmlTestSupport.h"

using namespace velmora;

namespace {

std::string reparsed(const std::string& input) {
  std::string out;
  writeXml(parseXml(input.c_str()).get(), out);
  return out;
}

TEST(XmlParserTest, BuildsTheTreeTheTokensDescribe) {
  const struct {
    const char* input;
    const char* tree;  // the tree written back
  } cases[] = {
      {"<a><b>x</b><c/></a>", "<a><b>x</b><c/></a>"},
      {"<a x='1'>t<!--dropped-->u</a>", "<a>tu</a>"},
      {"<a><b>", "<a><b/></a>"},      // still open at the end: accepted
      {"x<a/>y<b/>", "x<a/>y<b/>"},   // a text root takes later nodes as siblings
      {"<a/><b/>", "<a><b/></a>"},    // later top-level elements go into an element root
      {"<a/>x<b/>", "<a><b/></a>x"},  // top-level text stays a sibling of an element root
      {"<a></a><b>1</b></a>", "<a><b>1</b></a>"},  // the root is open again after its child
      {"<a>&amp;&lt;</a>", "<a>&amp;&lt;</a>"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(reparsed(c.input), c.tree) << c.input;
}

TEST(XmlParserTest, EndTagMustCloseTheInnermostElement) {
  const char* const cases[] = {"<a><b></a>", "</a>", "<a></A>", "<a/></a>"};
  for (const char* input : cases) {
    SCOPED_TRACE(input);
    EXPECT_WIN_CODE(parseXml(input), 104);
  }
}

TEST(XmlParserTest, DeepNestingParsesWithoutRecursion) {
  std::string input;
  for (int i = 0; i < 100000; ++i) input += "<d>";
  input += "x";
  for (int i = 0; i < 100000; ++i) input += "</d>";
  bool parsed = false;
  ASSERT_TRUE(runOnSmallStack([&] {
    try {
      parsed = reparsed(input) == input;
    } catch (...) {
    }
  }));
  EXPECT_TRUE(parsed);
}

}  // namespace
