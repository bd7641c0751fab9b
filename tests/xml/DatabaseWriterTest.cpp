// Saving straight from the records against building the document and writing it: the same bytes
// for any database, and the same code, before any file is touched, for one that cannot be saved.
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/Errors.h"
#include "tests/support/TempDir.h"
#include "tests/support/WinCode.h"
#include "tests/support/xmltree/XmlNode.h"
#include "tests/support/xmltree/XmlTreeWriter.h"
#include "tests/xml/XmlTestSupport.h"
#include "xml/Persistence.h"

using namespace velmora;

namespace {

std::string built(Database& database) {
  std::string out;
  writeXml(buildXmlDocument(database, "").get(), out);
  return out;
}

std::string codeOf(const std::function<void()>& step) {
  try {
    step();
    return "ok";
  } catch (const Win::Exception& e) {
    return "code " + std::to_string(e.getCode());
  }
}

class DatabaseWriterTest : public TempDirTest {};

TEST_F(DatabaseWriterTest, RandomDatabasesAreWrittenAsTheirDocument) {
  const char* const texts[] = {"", "a", "R&D <b>", "]]>", "x]]>y", "\r\n", " ", "&amp;", "\xff"};
  std::mt19937 random(7);
  for (int round = 0; round < 60; ++round) {
    Database database(texts[random() % 9], 1);
    addTable(database, "dept",
             {{"title", FieldType::String}, {"parent", FieldType::Relation, "dept"}});
    addTable(database, "gone", {{"x", FieldType::Int}});
    addTable(database, "person",
             {{"name", FieldType::String},
              {"age", FieldType::Int},
              {"dept", FieldType::Relation, "dept"},
              {"size", FieldType::Long},
              {"odd", 9}});
    addTable(database, "empty", {{"y", FieldType::String}});
    addTable(database, "fieldless", {});
    if (round % 3 == 0) database.deleteTable(1);
    Table& departments = database.tableByName("dept");
    Table& people = database.tableByName("person");
    Table& fieldless = database.tableByName("fieldless");
    const int departmentCount = 1 + static_cast<int>(random() % 6);
    for (int d = 0; d < departmentCount; ++d) {
      departments.createTemporaryRecord();
      departments.setString("title", texts[random() % 9]);
      departments.setRelation("parent", static_cast<int>(random() % (d + 1)));
      departments.addRecord(-1);
    }
    for (int p = static_cast<int>(random() % 12); p > 0; --p) {
      people.createTemporaryRecord();
      if (random() % 4 != 0) people.setString("name", texts[random() % 9]);
      people.setInt("age", static_cast<int>(random()));
      people.setRelation("dept", static_cast<int>(random() % departmentCount));
      people.setLong("size", -static_cast<int>(random() % 1000));
      people.addRecord(-1);
    }
    if (round % 2 == 0) fieldless.addRecord(-1);
    // Deleted records leave slots the file skips and the renumbering closes.
    if (departmentCount > 1 && random() % 2 == 0) departments.deleteRecord(departmentCount - 1);
    if (people.recordExists(1)) people.deleteRecord(1);

    SCOPED_TRACE(round);
    const std::string path = dir.file("saved.xml");
    ASSERT_TRUE(saveDatabase(database, path));
    EXPECT_EQ(readFileBytes(path), built(database));
  }
}

TEST_F(DatabaseWriterTest, UnsavableDatabasesFailAsBuildingDoesAndTouchNoFile) {
  const std::string path = dir.file("saved.xml");
  writeFileBytes(path, "old");
  const auto expectSameFailure = [&](Database& database, const char* code) {
    EXPECT_EQ(codeOf([&] { built(database); }), code);
    EXPECT_EQ(codeOf([&] { saveDatabase(database, path); }), code);
    EXPECT_EQ(readFileBytes(path), "old");
    EXPECT_EQ(listDirectory(dir.path()), std::vector<std::string>{"saved.xml"});
  };
  // A relation value beyond its target's slots (stored, though linking it failed).
  const auto addBadRelation = [](Database& database) {
    addTable(database, "dept", {{"title", FieldType::String}});
    Table& people = addTable(database, "person", {{"dept", FieldType::Relation, "dept"}});
    people.createTemporaryRecord();
    people.setRelation("dept", 3);
    EXPECT_WIN_CODE(people.addRecord(-1), 14);
  };
  // A relation naming a table that does not exist (the table is stored all the same).
  const auto addOrphan = [](Database& database) {
    auto definition = std::make_unique<TableDefinition>();
    definition->addRelationField("owner", "nosuch");
    EXPECT_WIN_CODE(database.addTable("orphan", std::make_unique<Table>(std::move(definition))), 1);
    Table& orphan = database.tableByName("orphan");
    orphan.createTemporaryRecord();
    EXPECT_WIN_CODE(orphan.addRecord(-1), 1);
  };

  Database both("d", 1);
  addBadRelation(both);
  addOrphan(both);
  expectSameFailure(both, "code 14");  // the earlier table's failure comes first
  Database orphanFirst("d", 1);
  addOrphan(orphanFirst);
  addBadRelation(orphanFirst);
  expectSameFailure(orphanFirst, "code 1");

  // A relation into a deleted table: the name still answers, its map has no positions.
  Database deleted("d", 1);
  Table& departments = addTable(deleted, "dept", {{"title", FieldType::String}});
  Table& people = addTable(deleted, "person", {{"dept", FieldType::Relation, "dept"}});
  departments.createTemporaryRecord();
  departments.addRecord(-1);
  people.createTemporaryRecord();
  people.addRecord(-1);
  deleted.deleteTable(departments.getIndex());
  expectSameFailure(deleted, "code 14");
}

}  // namespace
