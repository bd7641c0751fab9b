#include <gtest/gtest.h>

#include "tests/support/WinCode.h"
#include "workspace/Workspace.h"

using namespace velmora;

namespace {

class WorkspaceTest : public ::testing::Test {
 protected:
  void defineEmployee() {
    workspace.createTemporaryTable();
    workspace.addField("name", 1);
    workspace.addField("surname", 1);
    workspace.addField("age", 0);
    workspace.createTable("employee");
  }
  Workspace workspace;
};

}  // namespace

TEST_F(WorkspaceTest, NewInstanceRefusesBuildingBeforeSetup) {
  EXPECT_WIN_CODE(workspace.setInt("age", 1), 4);
  EXPECT_WIN_CODE(workspace.setStringAt(0, "x"), 4);
  EXPECT_WIN_CODE(workspace.addRecord(-1), 4);
  EXPECT_WIN_CODE(workspace.addField("name", 1), 3);
  EXPECT_WIN_CODE(workspace.addRelationField("boss", "employee"), 3);
  EXPECT_WIN_CODE(workspace.createTable("employee"), 3);
  EXPECT_EQ(workspace.getTableCount(), 0);
  EXPECT_EQ(workspace.getDatabase().getName(), "velmora");
}

TEST_F(WorkspaceTest, OwnChecksComeBeforeEngineChecks) {
  // Unknown names, bad indices and wrong types all lose to codes 3 and 4.
  EXPECT_WIN_CODE(workspace.setInt("no such field", 1), 4);
  EXPECT_WIN_CODE(workspace.setIntAt(-5, 1), 4);
  EXPECT_WIN_CODE(workspace.setRelationAt(99, 1), 4);
  EXPECT_WIN_CODE(workspace.addField("", -3), 3);
}

TEST_F(WorkspaceTest, TemporaryTableIsConsumedByCreateTable) {
  workspace.createTemporaryTable();
  workspace.addField("x", 0);
  workspace.createTemporaryTable();  // starts over
  EXPECT_EQ(workspace.addField("name", 1), 0);
  EXPECT_EQ(workspace.createTable("t"), 0);
  EXPECT_WIN_CODE(workspace.addField("more", 0), 3);
  workspace.createTemporaryTable();
  EXPECT_EQ(workspace.addField("first", 0), 0);
  // A failing createTable still consumes the temporary table and keeps the stored table.
  workspace.addRelationField("r", "missing");
  EXPECT_WIN_CODE(workspace.createTable("u"), 1);
  EXPECT_EQ(workspace.getTableIndex("u"), 1);
  EXPECT_WIN_CODE(workspace.addField("again", 0), 3);
}

TEST_F(WorkspaceTest, TemporaryRecordIsConsumedByAddRecord) {
  defineEmployee();
  workspace.chooseTable("employee");
  workspace.setString("name", "john");
  workspace.setStringAt(1, "doe");
  workspace.setInt("age", 12);
  EXPECT_EQ(workspace.addRecord(-1), 0);
  EXPECT_WIN_CODE(workspace.setInt("age", 1), 11);
  EXPECT_WIN_CODE(workspace.addRecord(-1), 11);
  workspace.chooseTableAt(0);
  workspace.setIntAt(2, 13);
  EXPECT_EQ(workspace.addRecord(-1), 1);
  EXPECT_EQ(workspace.getString("employee", 0, "name"), "john");
  EXPECT_EQ(workspace.getStringAt(0, 0, 1), "doe");
  EXPECT_EQ(workspace.getIntAt(0, 1, 2), 13);
  EXPECT_EQ(workspace.getRecordCount("employee"), 2);
  EXPECT_EQ(workspace.getFieldCountAt(0), 3);
  EXPECT_EQ(workspace.getFieldType("employee", "age"), 0);
  EXPECT_EQ(workspace.getFieldNameAt(0, 1), "surname");
  EXPECT_EQ(workspace.getFieldIndex("employee", "age"), 2);
}

TEST_F(WorkspaceTest, ChoosingAgainDiscardsUnaddedValues) {
  defineEmployee();
  workspace.chooseTable("employee");
  workspace.setInt("age", 50);
  workspace.chooseTable("employee");
  workspace.addRecord(-1);
  EXPECT_EQ(workspace.getInt("employee", 0, "age"), 0);
}

TEST_F(WorkspaceTest, FailedChooseKeepsTheEarlierTableAndItsRecord) {
  defineEmployee();
  workspace.chooseTable("employee");
  workspace.setInt("age", 7);
  EXPECT_WIN_CODE(workspace.chooseTable("nope"), 1);
  EXPECT_WIN_CODE(workspace.chooseTableAt(1), 14);
  EXPECT_WIN_CODE(workspace.chooseTableAt(-1), 14);
  EXPECT_EQ(workspace.addRecord(-1), 0);
  EXPECT_EQ(workspace.getInt("employee", 0, "age"), 7);
}

TEST_F(WorkspaceTest, DeletingTheCurrentTableClearsTheChoice) {
  defineEmployee();
  workspace.chooseTable("employee");
  workspace.deleteTable(0);
  EXPECT_WIN_CODE(workspace.setInt("age", 1), 4);
  EXPECT_WIN_CODE(workspace.chooseTable("employee"), 14);
  EXPECT_WIN_CODE(workspace.getRecordCountAt(0), 14);
  EXPECT_WIN_CODE(workspace.deleteTable(0), 14);
  EXPECT_WIN_CODE(workspace.deleteTable(3), 14);
  EXPECT_FALSE(workspace.tableExists(0));
  EXPECT_EQ(workspace.getTableCount(), 1);
  EXPECT_EQ(workspace.getTableName(0), "employee");
}

TEST_F(WorkspaceTest, DeletingAnotherTableKeepsTheChoice) {
  defineEmployee();
  defineEmployee();
  workspace.chooseTableAt(1);
  workspace.deleteTable(0);
  workspace.setInt("age", 3);
  EXPECT_EQ(workspace.addRecord(-1), 0);
}

TEST_F(WorkspaceTest, CreateDatabaseKeepsTablesAndState) {
  defineEmployee();
  workspace.chooseTable("employee");
  workspace.setInt("age", 1);
  workspace.createDatabase("my database", 1);
  EXPECT_EQ(workspace.getDatabase().getName(), "my database");
  EXPECT_EQ(workspace.addRecord(-1), 0);
}

TEST_F(WorkspaceTest, RelationsThroughTheWorkspace) {
  workspace.createTemporaryTable();
  workspace.addField("name", 1);
  workspace.createTable("dept");
  workspace.createTemporaryTable();
  workspace.addField("name", 1);
  workspace.addRelationField("dept", "dept");
  workspace.createTable("emp");
  workspace.chooseTable("dept");
  workspace.addRecord(-1);
  for (int i = 0; i < 2; ++i) {
    workspace.chooseTable("emp");
    workspace.setRelation("dept", 0);
    workspace.addRecord(-1);
  }
  EXPECT_EQ(workspace.getRelationTarget("emp", 1), "dept");
  EXPECT_WIN_CODE(workspace.getRelationTargetAt(1, 0), 6);
  EXPECT_EQ(workspace.getChildCount("dept", 0, "emp"), 2);
  EXPECT_EQ(workspace.getChildAt(0, 0, 1, 1), 1);
  EXPECT_EQ(workspace.getRelationAt(1, 1, 1), 0);
  workspace.deleteRecord("dept", 0);
  EXPECT_FALSE(workspace.recordExistsAt(1, 0));
  EXPECT_FALSE(workspace.recordExists("emp", 1));
  workspace.clearAllRecords();
  EXPECT_EQ(workspace.getRecordCountAt(1), 0);
}
