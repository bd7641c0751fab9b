#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"
#include "tests/support/WinCode.h"
#include "tests/support/xmltree/XmlLoader.h"
#include "tests/xml/XmlTestSupport.h"
#include "xml/Persistence.h"
#include "xml/TextCodec.h"

using namespace velmora;

namespace {

class XmlLoaderTest : public TempDirTest {
 protected:
  XmlLoaderTest() : employees(addEmployeeTable(database)) {
    addEmployee(employees, "old", "record", 99);  // every load must clear it first
  }

  bool load(const std::string& text) {
    writeFileBytes(dir.file("in.xml"), text);
    return loadDatabase(database, dir.file("in.xml"));
  }

  // The loaded employees as "name,surname,age;" each.
  std::string loaded() const {
    std::string out;
    for (int r = 0; r < employees.getRecordCount(); ++r) {
      out += std::string(employees.getString(r, "name")) + "," +
             std::string(employees.getString(r, "surname")) + "," +
             std::to_string(employees.getInt(r, "age")) + ";";
    }
    return out;
  }

  Database database{"mine", 1};
  Table& employees;
};

TEST_F(XmlLoaderTest, LoadsDocumentsByTheirElements) {
  const std::string open = "<database><info/><data><employee>";
  const std::string close = "</employee></data></database>";
  const struct {
    std::string document;
    std::string records;
  } cases[] = {
      {open + "<record><age>7</age></record>" + close, ",,7;"},
      // Text between fields ends the record's field list.
      {open + "<record><age>7</age>junk<name>x</name></record>" + close, ",,7;"},
      // Elements still open at the end are accepted.
      {open + "<record><age>7</age>", ",,7;"},
      // An attribute and a text child of the table element are ignored; the age is extracted
      // from " 12 ", "abc" gives 0, no content gives 0.
      {"<database><info/><data><employee id=\"4\">x<record><age> 12 </age></record>"
       "<record><age>abc</age></record><record><age/></record>" +
           close,
       ",,12;,,0;,,0;"},
      {open +
           "<!--note--><record><age>1</age></record><!--note--><record><age>2</age>"
           "</record>" +
           close,
       ",,1;,,2;"},
      // Fields in any order; the later of two wins; elements other than record are skipped.
      {open + "<record><age>1</age><name>a</name><name>b</name></record><other/>" + close, "b,,1;"},
      // The information block is not read; a second child other than data loads nothing.
      {"<database><junk/><data><employee><record/></employee></data></database>", ",,0;"},
      {"<database><info/><other><employee><record/></employee></other></database>", ""},
      // Texts keep leading whitespace and decode both entities.
      {open + "<record><name>  a &amp;amp; &lt;b&gt;</name><surname> </surname></record>" + close,
       "  a &amp; <b>, ,0;"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(load(c.document)) << c.document;
    EXPECT_EQ(loaded(), c.records) << c.document;
  }
}

TEST_F(XmlLoaderTest, ReadableIndentedFormLoadsLikeTheOneLineForm) {
  EXPECT_TRUE(
      load("<!--this is a database created with velmora-->\n"
           "<!--you can download this program from https://velmora.example.org/download-->\n"
           "<database>\n  <info>\n    <name>my database</name>\n    <version>1</version>\n"
           "  </info>\n  <data>\n    <employee>\n      <record>\n        <name>john</name>\n"
           "        <surname>doe</surname>\n        <age>12</age>\n      </record>\n"
           "    </employee>\n  </data>\n</database>\n"));
  EXPECT_EQ(loaded(), "john,doe,12;");
  EXPECT_EQ(database.getName(), "mine");
}

TEST_F(XmlLoaderTest, DocumentWithoutDatabaseElementGivesFalse) {
  const char* const cases[] = {
      "<info><name>x</name></info>",
      "\xef\xbb\xbf<database><info/><data/></database>",  // a byte-order mark is a text
      "<database><info/></database>",
      "<database>text<data/></database>",
      "<database/>",
      "<!--only a comment-->",
      "  \n",
  };
  for (const char* document : cases) {
    EXPECT_FALSE(load(document)) << document;
    EXPECT_EQ(employees.getRecordCount(), 0) << document;
  }
}

TEST_F(XmlLoaderTest, UnreadableFilesFailWith101AfterClearingEveryRecord) {
  const std::string good = "<database><info/><data><employee><record><age>1</age></record>";
  const std::string cases[] = {
      "",
      good + "</employee></data></database>junk",
      good + "</employee><!--cut",
      good + "<age>7",
      good + "<age",
      good + "</data>",
      good + "</employee></data></database></database>",
      good + std::string("<age>1\0</age>", 13),  // a zero byte inside a text
  };
  for (const std::string& text : cases) {
    addEmployee(employees, "x", "y", 1);
    const int before = countOpenDescriptors();
    SCOPED_TRACE(text);
    EXPECT_WIN_CODE(load(text), 101);
    EXPECT_EQ(employees.getRecordCount(), 0);
    EXPECT_EQ(countOpenDescriptors(), before);
  }

  EXPECT_WIN_CODE(loadDatabase(database, dir.file("missing.xml")), 101);
  EXPECT_WIN_CODE(loadDatabase(database, dir.path()), 101);

  writeFileBytes(dir.file("held.xml"), good);
  const int other = open(dir.file("held.xml").c_str(), O_RDONLY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX), 0);
  EXPECT_WIN_CODE(loadDatabase(database, dir.file("held.xml")), 101);
  close(other);
  EXPECT_TRUE(loadDatabase(database, dir.file("held.xml")));
  EXPECT_EQ(loaded(), ",,1;");
}

TEST_F(XmlLoaderTest, UnknownTablesAndFieldsFailWithCode1KeepingEarlierRecords) {
  const std::string head = "<database><info/><data><employee><record><age>1</age></record>";
  EXPECT_WIN_CODE(load(head + "</employee><nosuch><record/></nosuch></data></database>"), 1);
  EXPECT_EQ(loaded(), ",,1;");
  EXPECT_WIN_CODE(load(head + "<record><bogus>2</bogus></record></employee></data></database>"), 1);
  EXPECT_EQ(loaded(), ",,1;");
  // A table element without element children never looks its table up.
  EXPECT_TRUE(load("<database><info/><data><nosuch>x</nosuch></data></database>"));
}

TEST(XmlLoaderDecimalTest, ExtractsAndClampsTo32Bits) {
  const struct {
    const char* text;
    int value;
  } cases[] = {
      {"12", 12},
      {" \t\n-3", -3},
      {"+7", 7},
      {"12abc", 12},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"- 5", 0},
      {"007", 7},
      {"-2147483648", INT_MIN},
      {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},
      {"-2147483649", INT_MIN},
      {"99999999999999999999999", INT_MAX},
      {"-99999999999999999999999", INT_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(parseDecimal(c.text), c.value) << c.text;
}

TEST_F(XmlLoaderTest, LargeNumbersLoadAsTheNearest32BitValue) {
  addTable(database, "n",
           {{"i", FieldType::Int}, {"l", FieldType::Long}, {"r", FieldType::Relation, "n"}});
  // The relation cannot be linked (no record 2147483647), but the value is stored first.
  EXPECT_WIN_CODE(load("<database><info/><data><n><record><i>5000000000</i>"
                       "<l>-5000000000</l><r>5000000000</r></record></n></data></database>"),
                  14);
  const Table& numbers = database.tableByName("n");
  ASSERT_EQ(numbers.getRecordCount(), 1);
  EXPECT_EQ(numbers.getInt(0, "i"), INT_MAX);
  EXPECT_EQ(numbers.getLong(0, "l"), INT_MIN);
  EXPECT_EQ(numbers.getRelation(0, "r"), INT_MAX);
}

}  // namespace
