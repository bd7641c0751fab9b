#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"
#include "tests/support/WinCode.h"
#include "tests/support/xmltree/XmlNode.h"
#include "tests/xml/XmlTestSupport.h"
#include "xml/Persistence.h"

using namespace velmora;

namespace {

class PersistenceTest : public TempDirTest {
 protected:
  std::string saved(Database& database) {
    const std::string path = dir.file("saved.xml");
    EXPECT_TRUE(saveDatabase(database, path));
    return readFileBytes(path);
  }
  // The part of the saved document between "<data>" and "</data>", or the whole document.
  std::string savedData(Database& database) {
    const std::string document = saved(database);
    const size_t from = document.find("<data>");
    const size_t to = document.rfind("</data>");
    if (from == std::string::npos || to == std::string::npos) return document;
    return document.substr(from + 6, to - from - 6);
  }
  // Loads text from a file into the database.
  bool loadText(Database& database, const std::string& text) {
    writeFileBytes(dir.file("in.xml"), text);
    return loadDatabase(database, dir.file("in.xml"));
  }
};

TEST_F(PersistenceTest, SavesTheSampleAsOneExactLine) {
  Database database("my database", 1);
  addEmployee(addEmployeeTable(database), "john", "doe", 12);
  const std::string expected =
      kDocumentHead +
      "<data><employee><record><name>john</name><surname>doe</surname><age>12</age></record>"
      "</employee></data></database>";
  EXPECT_EQ(saved(database), expected);
  EXPECT_EQ(saved(database), expected);  // saving again gives the same bytes
  EXPECT_EQ(listDirectory(dir.path()), std::vector<std::string>{"saved.xml"});
}

TEST_F(PersistenceTest, WritesElementsWithoutContentAndEscapes) {
  Database empty("", 1);
  EXPECT_EQ(saved(empty),
            "<!--this is a database created with velmora-->"
            "<!--you can download this program from https://velmora.example.org/download-->"
            "<database><info><name></name><version>1</version></info><data/></database>");

  Database database("my database", 1);
  Table& employees = addEmployeeTable(database);
  addTable(database, "nothing", {});
  Table& fieldless = addTable(database, "fieldless", {});
  fieldless.addRecord(-1);
  const struct {
    const char* name;
    int age;
    const char* written;
  } cases[] = {
      {"R&D <b>", 12, "<name>R&amp;D &lt;b></name><surname/><age>12</age>"},
      {"&amp;", 0, "<name>&amp;amp;</name><surname/><age>0</age>"},  // written as stored
      {"a\rb\r", -1, "<name>a\rb\r</name><surname/><age>-1</age>"},  // a lone CR stays
      {"x]]>y>\"'", INT_MIN, "<name>x]]&gt;y>\"'</name><surname/><age>-2147483648</age>"},
      {"", INT_MAX, "<name/><surname/><age>2147483647</age>"},
  };
  std::string records;
  for (const auto& c : cases) {
    employees.createTemporaryRecord();
    employees.setString("name", c.name);
    employees.setInt("age", c.age);
    employees.addRecord(-1);
    records += std::string("<record>") + c.written + "</record>";
  }
  EXPECT_EQ(savedData(database),
            "<employee>" + records + "</employee><nothing/><fieldless><record/></fieldless>");
}

TEST_F(PersistenceTest, RelationsAreWrittenAsCompactedPositions) {
  auto makeDatabase = [](Database& database) {
    addTable(database, "dept", {{"title", FieldType::String}});
    addTable(database, "person", {{"dept", FieldType::Relation, "dept"}});
  };
  Database database("d", 1);
  makeDatabase(database);
  Table& departments = database.tableByName("dept");
  Table& people = database.tableByName("person");
  for (const char* title : {"a", "b", "c", "d"}) {
    departments.createTemporaryRecord();
    departments.setString("title", title);
    departments.addRecord(-1);
  }
  departments.deleteRecord(1);
  for (int target : {0, 3, 2}) {
    people.createTemporaryRecord();
    people.setRelation("dept", target);
    people.addRecord(-1);
  }
  EXPECT_EQ(savedData(database),
            "<dept><record><title>a</title></record><record><title>c</title></record>"
            "<record><title>d</title></record></dept>"
            "<person><record><dept>0</dept></record><record><dept>2</dept></record>"
            "<record><dept>1</dept></record></person>");

  // Loaded elsewhere, the relation values are the indices of the loaded targets.
  Database loaded("d", 1);
  makeDatabase(loaded);
  ASSERT_TRUE(loadDatabase(loaded, dir.file("saved.xml")));
  const Table& loadedDepartments = loaded.tableByName("dept");
  const Table& loadedPeople = loaded.tableByName("person");
  ASSERT_EQ(loadedDepartments.getRecordCount(), 3);
  EXPECT_EQ(loadedDepartments.getString(loadedPeople.getRelation(1, "dept"), "title"), "d");
  EXPECT_EQ(loadedDepartments.getChildCount(2, loadedPeople.getIndex()), 1);

  // A relation into a deleted table has no position to be written as.
  database.deleteTable(departments.getIndex());
  EXPECT_WIN_CODE(saved(database), 14);
}

TEST_F(PersistenceTest, FailureWhileBuildingLeavesTheOldFileUntouched) {
  Database database("d", 1);
  addTable(database, "dept", {{"title", FieldType::String}});
  Table& people = addTable(database, "person", {{"dept", FieldType::Relation, "dept"}});
  const std::string path = dir.file("saved.xml");
  writeFileBytes(path, "old");
  people.createTemporaryRecord();
  people.setRelation("dept", 0);
  EXPECT_WIN_CODE(people.addRecord(-1), 14);  // stored, but no dept record 0 to link to
  EXPECT_WIN_CODE(saveDatabase(database, path), 14);
  EXPECT_EQ(readFileBytes(path), "old");
  EXPECT_EQ(listDirectory(dir.path()), std::vector<std::string>{"saved.xml"});
}

// Issue 3: what save writes, load reads back, byte for byte, for any string without a zero byte.
TEST_F(PersistenceTest, RandomStringsLoadBackByteForByte) {
  auto makeDatabase = [](Database& database) {
    addTable(database, "t",
             {{"s", FieldType::String},
              {"i", FieldType::Int},
              {"l", FieldType::Long},
              {"u", FieldType::String}});
  };
  std::vector<std::string> values = {
      "",      " ",    "  lead", "trail  ", "\t\n\r ", "\r",   "\r\n", "a\rb",
      "&amp;", "&lt;", "&amp",   "&gt;",    "]]>",     "<x/>", "\xff", "\xff\xfe<&",
      "&x;",   "&&;;", "-->",    "<!--",    "\n",      "<",    "&",    "\v\f",
  };
  std::mt19937 random(20240601);
  for (int n = 0; n < 300; ++n) {
    std::string value(random() % 24, ' ');
    for (char& c : value) c = static_cast<char>(1 + random() % 255);
    values.push_back(value);
  }
  Database database("random", 1);
  makeDatabase(database);
  Table& table = database.tableByName("t");
  for (size_t k = 0; k < values.size(); ++k) {
    table.createTemporaryRecord();
    table.setString("s", values[k]);
    table.setInt("i", static_cast<int>(random()));
    table.setLong("l", -static_cast<int>(k));
    table.setString("u", values[values.size() - 1 - k]);
    table.addRecord(-1);
  }
  const std::string path = dir.file("random.xml");
  ASSERT_TRUE(saveDatabase(database, path));

  Database loaded("other", 1);
  makeDatabase(loaded);
  ASSERT_TRUE(loadDatabase(loaded, path));
  Table& back = loaded.tableByName("t");
  ASSERT_EQ(back.getRecordCount(), table.getRecordCount());
  for (int r = 0; r < table.getRecordCount(); ++r) {
    EXPECT_EQ(back.getString(r, "s"), table.getString(r, "s")) << r;
    EXPECT_EQ(back.getString(r, "u"), table.getString(r, "u")) << r;
    EXPECT_EQ(back.getInt(r, "i"), table.getInt(r, "i")) << r;
    EXPECT_EQ(back.getLong(r, "l"), table.getLong(r, "l")) << r;
  }
}

TEST_F(PersistenceTest, SavedUtf8IsWellFormedForAStandardParser) {
  if (access("/usr/bin/xmllint", X_OK) != 0) {
    GTEST_SKIP() << "xmllint not installed (Debian package libxml2-utils)";
  }
  Database database(
      "base de donn\xc3\xa9"
      "es",
      1);
  Table& table = addEmployeeTable(database);
  const char* const names[] = {"\xc3\xa9l\xc3\xa8ve",
                               "\xe6\x97\xa5\xe6\x9c\xac",
                               "a&b<c>d",
                               "]]>",
                               "\"quoted\" 'single'",
                               "&amp; &lt;",
                               "\xf0\x9f\x98\x80",
                               "",
                               " spaced ",
                               "--",
                               "<!--x-->"};
  for (const char* name : names) addEmployee(table, name, "x", 1);
  const std::string path = dir.file("utf8.xml");
  ASSERT_TRUE(saveDatabase(database, path));
  const std::string command = "/usr/bin/xmllint --noout '" + path + "' 2>&1";
  EXPECT_EQ(system(command.c_str()), 0) << readFileBytes(path);
}

TEST_F(PersistenceTest, TwoHundredThousandRecordsSaveAndLoadOnASmallStack) {
  Database database("big", 1);
  Table& table = addEmployeeTable(database);
  for (int r = 0; r < 200000; ++r) addEmployee(table, "n", "s", r);
  const std::string path = dir.file("big.xml");
  Database loaded("big", 1);
  Table& back = addEmployeeTable(loaded);
  int code = -1;
  ASSERT_TRUE(runOnSmallStack([&] {
    try {
      saveDatabase(database, path);
      loadDatabase(loaded, path);
      code = 0;
    } catch (const Win::Exception& e) {
      code = e.getCode();
    }
  }));
  EXPECT_EQ(code, 0);
  ASSERT_EQ(back.getRecordCount(), 200000);
  EXPECT_EQ(back.getInt(199999, "age"), 199999);
}

}  // namespace

// Files written with and without the schema, one-line and indented by hand, validate against
// the published XML Schema; a schema with an unknown type does not.
TEST_F(PersistenceTest, SavedFilesValidateAgainstTheXmlSchema) {
  if (system("xmllint --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "xmllint is missing";
  Database database("my <database>", 1);
  Table& employees = addEmployeeTable(database);
  addEmployee(employees, "a & b", "", -12);
  addTable(database, "empty", {});
  const std::string plain = dir.file("plain.xml");
  const std::string withSchema = dir.file("schema.xml");
  ASSERT_TRUE(saveDatabase(database, plain));
  ASSERT_TRUE(saveDatabaseWithSchema(database, withSchema));
  std::string indented = readFileBytes(withSchema);
  for (const char* tag : {"<info>", "<schema>", "<table>", "<field>", "<data>"}) {
    const std::string_view tagText(tag);
    for (size_t at = indented.find(tag); at != std::string::npos;
         at = indented.find(tag, at + 4 + tagText.size())) {
      indented.insert(at, "\r\n  ");
    }
  }
  const std::string indentedFile = dir.file("indented.xml");
  writeFileBytes(indentedFile, indented);
  std::string wrong = readFileBytes(withSchema);
  wrong.replace(wrong.find("<type>Int</type>"), 16, "<type>Float</type>");
  const std::string wrongFile = dir.file("wrong.xml");
  writeFileBytes(wrongFile, wrong);
  const std::string xmlSchema = std::string(VELMORA_SOURCE_DIR) + "/docs/velmora.xsd";
  const struct {
    const std::string& file;
    bool valid;
  } cases[] = {{plain, true}, {withSchema, true}, {indentedFile, true}, {wrongFile, false}};
  for (const auto& c : cases) {
    const std::string command =
        "xmllint --noout --schema '" + xmlSchema + "' '" + c.file + "' 2>/dev/null";
    EXPECT_EQ(system(command.c_str()) == 0, c.valid) << readFileBytes(c.file);
  }
}
