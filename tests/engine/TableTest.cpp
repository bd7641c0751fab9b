#include <climits>

#include <gtest/gtest.h>

#include "engine/Database.h"
#include "tests/support/Schemas.h"
#include "tests/support/WinCode.h"

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
  EXPECT_EQ(employee.recordCount(), 1);
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
  EXPECT_EQ(table.childCount(0, t), 1);  // the default 0 links the record to itself
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
  EXPECT_EQ(employee.recordCount(), 3);
  EXPECT_EQ(employee.getString(0, "name"), "d");
  EXPECT_EQ(addEmployee(employee, "e", "", 4, INT_MIN), 3);
  EXPECT_EQ(employee.recordCount(), 4);
}

TEST_F(TableTest, DeletedSlotsKeepCountsAndCanBeRefilled) {
  for (int i = 0; i < 3; ++i) addEmployee(employee, "x", "y", i);
  employee.deleteRecord(1);
  EXPECT_FALSE(employee.recordExists(1));
  EXPECT_EQ(employee.recordCount(), 3);
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
  EXPECT_EQ(employee.recordCount(), 0);
  EXPECT_EQ(employee.addRecord(-1), 0);
  EXPECT_EQ(employee.getInt(0, "age"), 44);
}

TEST_F(TableTest, CreateTemporaryRecordStartsOver) {
  employee.setInt("age", 5);
  employee.createTemporaryRecord();
  employee.addRecord(-1);
  EXPECT_EQ(employee.getInt(0, "age"), 0);
}

TEST(RecordTest, StoreChecksTheSlot) {
  Record record(2);
  record.store(1, std::make_unique<IntValue>(4));
  EXPECT_WIN_CODE(record.store(3, std::make_unique<IntValue>(1)), 5);
  EXPECT_WIN_CODE(record.store(2, std::make_unique<IntValue>(1)), 14);
  EXPECT_WIN_CODE(record.store(-1, std::make_unique<IntValue>(1)), 14);
  EXPECT_EQ(record.value(0), nullptr);
  EXPECT_EQ(record.value(1)->toText(), "4");
  EXPECT_EQ(IntValue(INT_MIN).toText(), "-2147483648");
  EXPECT_EQ(FieldValue().toText(), "");
}
