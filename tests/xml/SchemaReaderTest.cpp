#include <string>

#include <gtest/gtest.h>

#include "engine/Errors.h"
#include "tests/support/TempDir.h"
#include "xml/SchemaReader.h"

using namespace velmora;

namespace {

// The schema as one line: name, version, then each table with its fields (type codes).
std::string summary(const FileSchema& schema) {
  std::string out = std::string(schema.isDatabase ? "D" : "-") + (schema.hasInfo ? "I" : "-") +
                    (schema.hasSchema ? "S" : "-") + " " + schema.databaseName + "|" +
                    schema.version;
  for (const SchemaTable& table : schema.tables) {
    out += " " + table.name + "(";
    for (const SchemaField& field : table.fields) {
      out += field.name + ":" + std::to_string(field.type) + field.target + ",";
    }
    out += ")";
  }
  return out;
}

// From memory through a 3-byte window, and from a file: the same schema or the same failure.
std::string readBoth(const std::string& input) {
  TempDir dir;
  writeFileBytes(dir.file("in.xml"), input);
  std::string outcomes[2];
  for (int fromFile = 0; fromFile < 2; ++fromFile) {
    SchemaReader reader(fromFile ? XmlLexer::kDefaultBufferSize : 3);
    try {
      outcomes[fromFile] =
          summary(fromFile ? reader.readFile(dir.file("in.xml"))
                           : reader.read(input.data(), input.data() + input.size()));
    } catch (const Win::Exception& e) {
      const ReadError& error = reader.getReadError();
      outcomes[fromFile] = "code " + std::to_string(e.getCode()) + " " +
                           std::to_string(error.line) + ":" + std::to_string(error.column) + ": " +
                           error.message;
    }
  }
  EXPECT_EQ(outcomes[0], outcomes[1]) << input;
  return outcomes[1];
}

const std::string kInfo = "<!--c--><database><info><name>my &amp; db</name><version>1</version>";
const std::string kSchema =
    "<schema><table><name>employee</name><field><name>name</name><type>String</type></field>"
    "<field><name>age</name><type>Int</type></field></table><table><name>child</name><field>"
    "<name>p</name><type>Relation</type><target>parent</target></field><field><name>l</name>"
    "<type>Long</type></field></table><table><name>empty</name></table></schema>";
const std::string kRest = "</info><data><employee><record><age>1</age></record></employee>";

TEST(SchemaReaderTest, ReadsTheInfoElementInAnyLayout) {
  const std::string expected =
      "DIS my & db|1 employee(name:1,age:0,) child(p:3parent,l:2,) empty()";
  const struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {kInfo + kSchema + kRest, expected},
      // Indented, CR LF, comments between elements; the records after info are never read.
      {"<database>\r\n  <info>\r\n    <name>my &amp; db</name>\r\n    <version>1</version>\r\n"
       "    <schema>\r\n      <table>\r\n        <name>employee</name>\r\n        <field>\r\n"
       "          <name>name</name>\r\n          <type>String</type>\r\n        </field>\r\n"
       "        <!-- age --><field><name>age</name><type>Int</type></field>\r\n"
       "      </table>\r\n      <table><name>child</name><field><name>p</name>"
       "<type>Relation</type><target>parent</target></field><field><name>l</name>"
       "<type>Long</type></field></table>\r\n      <table>\r\n        <name>empty</name>\r\n"
       "      </table>\r\n    </schema>\r\n  </info>\r\n  <data></broken>",
       expected},
      {kInfo + "</info><data/></database>", "DI- my & db|1"},
      {kInfo + "<schema/><extra><x/>t</extra></info>", "DIS my & db|1"},
      {"<database><info/><data/></database>", "DI- |"},
      {"<database><data/></database>", "D-- |"},
      {"<other><info><schema><bad/></schema></info></other>", "--- |"},
      {"text<database/>", "--- |"},
  };
  for (const auto& c : cases) EXPECT_EQ(readBoth(c.input), c.expected) << c.input;
}

TEST(SchemaReaderTest, SchemaThatCannotDescribeADatabaseFailsWithItsPlace) {
  const std::string head = "<database><info><schema>\n<table><name>t</name>\n";  // line 3 next
  const struct {
    std::string body;
    const char* expected;
  } cases[] = {
      {"  <field><name>f</name><type>Float</type></field>", "3:24: unknown field type \"Float\""},
      {"  <field><type>Int</type></field>", "3:3: field without a name"},
      {"  <field><name>f</name></field>", "3:3: field \"f\" without a type"},
      {"  <field><name>f</name><type>Relation</type></field>",
       "3:3: relation field \"f\" without a target"},
      {"  <field><name>f</name><type>Int</type><target>t</target></field>",
       "3:3: target on field \"f\", which is no Relation"},
      {"  <field><name>f</name><name>g</name>", "3:24: repeated <name> in <field>"},
      {"  <field><size>1</size>", "3:10: unexpected element <size> in <field>"},
      {"  <field>x</field>", "3:10: unexpected text in <field>"},
      {"  <field><name>f<b/></name>", "3:17: unexpected element <b> in <name>"},
      {"  <field></table>", "3:10: mismatched end tag </table>, expected </field>"},
      {"  <field><!-- open", "3:10: unterminated comment"},
      {"  <field><name>f", "3:16: unexpected end of file"},
      {"</table><table></table>", "3:9: table without a name"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(readBoth(head + c.body), std::string("code 101 ") + c.expected) << c.body;
  }
}

}  // namespace
