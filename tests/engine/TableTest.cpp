#include <climits>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "engine/Database.h"
#include "tests/support/Schemas.h"
#include "tests/support/WinCode.h"

using namespace velmora;

namespace {

class TableTest : public ::testing::Test {
 protected:
  TableTest()
      : database("velmora", 1), employee(database.tableByIndex(addEmployeeTable(database))) {}
  Database database;
  Table& employee;
};

}  // namespace

TEST_F(TableTest, StoresAndReadsTypedValues) {
  employee.setString("name", "john");
  employee.setString("surname", "doe");
  employee.setInt("age", 12);
  EXPECT_EQ(employee.addRecord(-1), 0);
  EXPECT_EQ(employee.getInt(0, "age"), 12);
  EXPECT_EQ(employee.getString(0, 0), "john");
  EXPECT_EQ(employee.getString(0, "surname"), "doe");
  EXPECT_EQ(employee.getRecordCount(), 1);
  EXPECT_WIN_CODE(employee.addRecord(-1), 11);  // the temporary record was consumed
  EXPECT_WIN_CODE(employee.setInt("age", 1), 11);
}

TEST_F(TableTest, SetterOrderDoesNotMatterAndLastValueWins) {
  employee.setInt("age", 3);
  employee.setString("surname", "doe");
  employee.setString("name", "jane");
  employee.setInt(2, INT_MIN);
  employee.addRecord(-1);
  EXPECT_EQ(employee.getString(0, "name"), "jane");
  EXPECT_EQ(employee.getInt(0, 2), INT_MIN);
}

TEST_F(TableTest, UnsetFieldsGetTheirTypeDefaults) {
  Database db("d", 1);
  const int t = addTestTable(db, "all",
                             {{"i", FieldType::Int, ""},
                              {"s", FieldType::String, ""},
                              {"l", FieldType::Long, ""},
                              {"r", FieldType::Relation, "all"},
                              {"odd", 7, ""}});
  Table& table = db.tableByIndex(t);
  EXPECT_EQ(table.addRecord(-1), 0);
  EXPECT_EQ(table.getInt(0, "i"), 0);
  EXPECT_EQ(table.getString(0, "s"), "");
  EXPECT_EQ(table.getLong(0, "l"), 0);
  EXPECT_EQ(table.getRelation(0, "r"), 0);
  EXPECT_EQ(table.getChildCount(0, t), 1);  // the default 0 links the record to itself
  // A field of an unknown type code can be neither set nor read.
  EXPECT_WIN_CODE(table.setInt("odd", 1), 9);
  EXPECT_WIN_CODE(table.getString(0, "odd"), 10);
}

TEST_F(TableTest, TypeChecksComeBeforeTheTemporaryRecordCheck) {
  employee.addRecord(-1);  // no temporary record from here on
  EXPECT_WIN_CODE(employee.setInt("name", 1), 9);
  EXPECT_WIN_CODE(employee.setLong("age", 1), 8);  // Int and Long are distinct
  EXPECT_WIN_CODE(employee.setString("age", "x"), 10);
  EXPECT_WIN_CODE(employee.setRelation("age", 0), 6);
  EXPECT_WIN_CODE(employee.setString("age ", "x"), 1);
  EXPECT_WIN_CODE(employee.setString(3, "x"), 14);
  EXPECT_WIN_CODE(employee.setString(-1, "x"), 14);
  EXPECT_WIN_CODE(employee.setString("name", "x"), 11);
}

TEST_F(TableTest, GetterChecksFieldThenTypeThenRecord) {
  addEmployee(employee, "a", "b", 1);
  // Field index out of range wins over a record index out of range.
  EXPECT_WIN_CODE(employee.getInt(5, 3), 14);
  EXPECT_WIN_CODE(employee.getInt(5, "nope"), 1);
  EXPECT_WIN_CODE(employee.getString(5, "age"), 10);
  EXPECT_WIN_CODE(employee.getInt(1, "age"), 14);  // record == count
  EXPECT_WIN_CODE(employee.getInt(-1, "age"), 14);
  EXPECT_EQ(employee.getInt(0, "age"), 1);
}

TEST_F(TableTest, PositionsReplaceInsideTheSlotsAndAppendOutside) {
  addEmployee(employee, "a", "", 0);
  addEmployee(employee, "b", "", 1);
  EXPECT_EQ(addEmployee(employee, "c", "", 2, 5), 2);
  EXPECT_EQ(addEmployee(employee, "d", "", 3, 0), 0);
  EXPECT_EQ(employee.getRecordCount(), 3);
  EXPECT_EQ(employee.getString(0, "name"), "d");
  EXPECT_EQ(addEmployee(employee, "e", "", 4, INT_MIN), 3);
  EXPECT_EQ(employee.getRecordCount(), 4);
}

TEST_F(TableTest, DeletedSlotsKeepCountsAndCanBeRefilled) {
  for (int i = 0; i < 3; ++i) addEmployee(employee, "x", "y", i);
  employee.deleteRecord(1);
  EXPECT_FALSE(employee.recordExists(1));
  EXPECT_EQ(employee.getRecordCount(), 3);
  EXPECT_WIN_CODE(employee.getInt(1, "age"), 14);  // an emptied slot is refused
  EXPECT_WIN_CODE(employee.deleteRecord(1), 14);
  EXPECT_WIN_CODE(employee.deleteRecord(3), 14);
  EXPECT_WIN_CODE(employee.deleteRecord(-1), 14);
  EXPECT_EQ(addEmployee(employee, "back", "", 9, 1), 1);
  EXPECT_TRUE(employee.recordExists(1));
  EXPECT_EQ(employee.getInt(1, "age"), 9);
  EXPECT_FALSE(employee.recordExists(-1));
  EXPECT_FALSE(employee.recordExists(3));
}

TEST_F(TableTest, ClearRecordsKeepsTheTemporaryRecord) {
  addEmployee(employee, "a", "b", 1);
  employee.createTemporaryRecord();
  employee.setInt("age", 44);
  employee.clearRecords();
  EXPECT_EQ(employee.getRecordCount(), 0);
  EXPECT_EQ(employee.addRecord(-1), 0);
  EXPECT_EQ(employee.getInt(0, "age"), 44);
}

TEST_F(TableTest, CreateTemporaryRecordStartsOver) {
  employee.setInt("age", 5);
  employee.createTemporaryRecord();
  employee.addRecord(-1);
  EXPECT_EQ(employee.getInt(0, "age"), 0);
}

// Records share blocks and every field type has its own place in a record: values of mixed
// types, a field of an unknown type code and a string too long to sit inside its string object
// must not disturb each other, and a record made from a reused block starts at the defaults.
TEST(RecordStoreTest, MixedFieldsKeepTheirValuesAndReusedRecordsStartAtDefaults) {
  Database database("velmora", 1);
  auto definition = std::make_unique<TableDefinition>();
  definition->addField("text", FieldType::String);
  definition->addField("count", FieldType::Int);
  definition->addField("odd", 7);
  definition->addField("size", FieldType::Long);
  definition->addField("note", FieldType::String);
  Table& table = database.tableByIndex(
      database.addTable("mixed", std::make_unique<Table>(std::move(definition))));
  const std::string longText(300, 'x');
  for (int r = 0; r < 40; ++r) {
    table.createTemporaryRecord();
    table.setString("text", r % 2 == 0 ? longText : std::to_string(r));
    table.setInt("count", r);
    table.setLong("size", -r);
    table.setString("note", "n" + std::to_string(r));
    ASSERT_EQ(table.addRecord(-1), r);
  }
  for (int r = 0; r < 40; r += 3) table.deleteRecord(r);
  for (int r = 0; r < 40; r += 3) {
    table.createTemporaryRecord();
    table.setInt("count", 1000 + r);
    ASSERT_EQ(table.addRecord(r), r);  // refilled from the blocks the deletes gave back
  }
  for (int r = 0; r < 40; ++r) {
    SCOPED_TRACE(r);
    if (r % 3 == 0) {
      EXPECT_EQ(table.getInt(r, "count"), 1000 + r);
      EXPECT_EQ(table.getString(r, "text"), "");
      EXPECT_EQ(table.getLong(r, "size"), 0);
      EXPECT_EQ(table.getString(r, "note"), "");
    } else {
      EXPECT_EQ(table.getString(r, "text"), r % 2 == 0 ? longText : std::to_string(r));
      EXPECT_EQ(table.getInt(r, "count"), r);
      EXPECT_EQ(table.getLong(r, "size"), -r);
      EXPECT_EQ(table.getString(r, "note"), "n" + std::to_string(r));
    }
    EXPECT_WIN_CODE(table.getInt(r, "odd"), 9);
  }
}

TEST(FieldValueTest, ValuesGiveTheTextTheWriterSaves) {
  IntValue smallest;
  smallest.setValue(INT_MIN);
  EXPECT_EQ(smallest.toText(), "-2147483648");
  RelationValue relation;
  relation.setValue(0);
  EXPECT_EQ(relation.toText(), "0");
  StringValue text;
  text.setText(std::string("a\0b", 3));
  EXPECT_EQ(text.toText(), std::string("a\0b", 3));
  text.clear();
  EXPECT_EQ(text.getText(), "");
}

// Every change of length across the inline limit, also from the value's own text: the text and
// its closing NUL survive each.
TEST(FieldValueTest, TextMovesBetweenCellAndHeap) {
  const size_t lengths[] = {0,  1, StringValue::kInlineLength, StringValue::kInlineLength + 1,
                            40, 7};
  for (const size_t from : lengths) {
    for (const size_t to : lengths) {
      StringValue text;
      const std::string before(from, 'a');
      const std::string after(to, static_cast<char>('\xFF'));
      text.setText(before);
      EXPECT_EQ(text.getText(), before);
      text.setText(after);
      EXPECT_EQ(text.getText(), after) << from << " to " << to;
      EXPECT_EQ(text.getText().data()[to], '\0');
      text.setText(text.getText().substr(to / 2));  // from its own bytes
      EXPECT_EQ(text.getText(), after.substr(to / 2)) << from << " to " << to;
      EXPECT_EQ(text.getText().data()[to - to / 2], '\0');
    }
  }
}
