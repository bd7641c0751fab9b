#include <string>

#include <gtest/gtest.h>

#include "engine/FieldValue.h"
#include "tests/support/TempDir.h"
#include "tests/support/WinCode.h"
#include "tests/xml/XmlTestSupport.h"
#include "workspace/Workspace.h"

using namespace velmora;

namespace {

void defineEmployee(Workspace& workspace) {
  workspace.createTemporaryTable();
  workspace.addField("name", FieldType::String);
  workspace.addField("surname", FieldType::String);
  workspace.addField("age", FieldType::Int);
  workspace.createTable("employee");
}

class WorkspaceSaveLoadTest : public TempDirTest {};

TEST_F(WorkspaceSaveLoadTest, SampleRoundTripsBetweenTwoInstances) {
  Workspace first;
  first.createDatabase("my database", 1);
  defineEmployee(first);
  first.chooseTable("employee");
  first.setString("name", "john");
  first.setString("surname", "doe");
  first.setInt("age", 12);
  first.addRecord(-1);
  const std::string path = dir.file("sample.xml");
  ASSERT_TRUE(first.save(path));
  EXPECT_EQ(readFileBytes(path),
            kDocumentHead +
                "<data><employee><record><name>john</name><surname>doe</surname><age>12</age>"
                "</record></employee></data></database>");

  Workspace second;
  defineEmployee(second);
  ASSERT_TRUE(second.load(path));
  EXPECT_EQ(second.getRecordCount("employee"), 1);
  EXPECT_EQ(second.getString("employee", 0, "name"), "john");
  EXPECT_EQ(second.getString("employee", 0, "surname"), "doe");
  EXPECT_EQ(second.getInt("employee", 0, "age"), 12);
  EXPECT_EQ(second.getDatabase().getName(), "velmora");  // the file's name is not read

  // Loading into the instance that saved: same record, and the current table stays chosen
  // while its temporary record was used up by the load.
  ASSERT_TRUE(first.load(path));
  EXPECT_EQ(first.getRecordCount("employee"), 1);
  EXPECT_WIN_CODE(first.setInt("age", 1), 11);
}

TEST_F(WorkspaceSaveLoadTest, LoadCompactsDeletedRecordSlots) {
  Workspace workspace;
  defineEmployee(workspace);
  for (int age : {1, 2, 3}) {
    workspace.chooseTable("employee");
    workspace.setInt("age", age);
    workspace.addRecord(-1);
  }
  workspace.deleteRecord("employee", 0);
  const std::string path = dir.file("compact.xml");
  ASSERT_TRUE(workspace.save(path));
  ASSERT_TRUE(workspace.load(path));
  EXPECT_EQ(workspace.getRecordCount("employee"), 2);
  EXPECT_EQ(workspace.getInt("employee", 0, "age"), 2);
  EXPECT_EQ(workspace.getInt("employee", 1, "age"), 3);
}

TEST_F(WorkspaceSaveLoadTest, FailedLoadLeavesEveryTableEmpty) {
  Workspace workspace;
  defineEmployee(workspace);
  workspace.chooseTable("employee");
  workspace.addRecord(-1);
  EXPECT_WIN_CODE(workspace.load(dir.file("missing.xml")), 101);
  EXPECT_EQ(workspace.getRecordCount("employee"), 0);
  EXPECT_WIN_CODE(workspace.save(dir.file("missing/x.xml")), 102);
}

}  // namespace
