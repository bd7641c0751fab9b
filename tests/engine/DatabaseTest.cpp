#include <gtest/gtest.h>

#include "engine/Database.h"
#include "tests/support/Schemas.h"
#include "tests/support/WinCode.h"

using namespace velmora;

TEST(DatabaseTest, CreateDatabaseRenamesAndKeepsTables) {
  Database database("velmora", 9);
  EXPECT_EQ(database.getFlag(), 1);
  EXPECT_EQ(database.getTableCount(), 0);
  Table& table = database.tableByIndex(addEmployeeTable(database));
  addEmployee(table, "john", "doe", 12);
  database.createDatabase("my database", 7);
  EXPECT_EQ(database.getName(), "my database");
  EXPECT_EQ(database.getFlag(), 7);
  EXPECT_EQ(database.tableByName("employee").getRecordCount(), 1);
}

TEST(DatabaseTest, DeletedTableSlotKeepsItsNameButIsRefused) {
  Database database("velmora", 1);
  addEmployeeTable(database);
  addEmployeeTable(database);  // the name now refers to slot 1
  EXPECT_EQ(database.tableIndex("employee"), 1);
  database.deleteTable(0);
  EXPECT_FALSE(database.tableExists(0));
  EXPECT_EQ(database.getTableCount(), 2);
  EXPECT_EQ(database.tableName(0), "employee");
  EXPECT_WIN_CODE(database.tableByIndex(0), 14);
  EXPECT_WIN_CODE(database.deleteTable(0), 14);
  EXPECT_WIN_CODE(database.deleteTable(2), 14);
  EXPECT_WIN_CODE(database.deleteTable(-1), 14);
  EXPECT_EQ(database.getTableCount(), 2);
  database.deleteTable(1);
  EXPECT_WIN_CODE(database.tableByName("employee"), 14);
  EXPECT_FALSE(database.tableExists(-1));
  EXPECT_FALSE(database.tableExists(2));
  EXPECT_WIN_CODE(database.tableName(2), 2);
  EXPECT_WIN_CODE(database.tableIndex("nope"), 1);
}

TEST(DatabaseTest, ClearAllRecordsSkipsDeletedSlots) {
  Database database("velmora", 1);
  addEmployeeTable(database);
  Table& second = database.tableByIndex(addEmployeeTable(database));
  addEmployee(second, "a", "b", 1);
  database.deleteTable(0);
  database.clearAllRecords();
  EXPECT_EQ(second.getRecordCount(), 0);
}

TEST(TableDefinitionTest, FieldsAreNumberedInOrder) {
  TableDefinition definition;
  definition.addField("name", FieldType::String);
  definition.addField("surname", FieldType::String);
  EXPECT_EQ(definition.addField("age", FieldType::Int), 2);
  EXPECT_EQ(definition.fieldType(2), 0);
  EXPECT_EQ(definition.fieldIndex("age"), 2);
  EXPECT_EQ(definition.fieldName(2), "age");
  EXPECT_EQ(definition.addRelationField("boss", "employee"), 3);
  EXPECT_EQ(definition.relationTarget(3), "employee");
  EXPECT_EQ(definition.addField("age", 42), 4);  // no checks: repeated name, odd type
  EXPECT_EQ(definition.fieldIndex("age"), 4);
  EXPECT_EQ(definition.fieldName(2), "age");
  EXPECT_EQ(definition.fieldTypeByName("age"), 42);
  EXPECT_WIN_CODE(definition.fieldType(5), 14);
  EXPECT_WIN_CODE(definition.fieldType(-1), 14);
  EXPECT_WIN_CODE(definition.fieldName(5), 2);
  EXPECT_WIN_CODE(definition.relationTarget(0), 6);
  EXPECT_WIN_CODE(definition.relationTarget(9), 14);
  EXPECT_WIN_CODE(definition.fieldTypeByName("Age"), 1);
  EXPECT_EQ(definition.getFieldCount(), 5);
}
