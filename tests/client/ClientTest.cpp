#include <stdlib.h>

#include <exception>
#include <vector>

#include <gtest/gtest.h>

#include "velmora/Client.h"
#include "velmora/Version.h"

#include "platform/MessageText.h"
#include "tests/support/ServerLibrary.h"
#include "tests/support/TempDir.h"

using namespace velmora;

TEST(ExceptionTest, DescriptionAndErrorNumberFollowTheCode) {
  struct Row {
    uint32_t code;
    int number;
    bool engine;
  };
  const Row rows[] = {
      {0x8004020E, 14, true}, {0x80040265, 101, true}, {0x80040201, 1, true},
      {0x80040200, 0, false}, {0x8000FFFF, 0, false},  {0x80040154, 0, false},
      {0x800401F0, 0, false}, {0x80070057, 0, false},
  };
  for (const Row& row : rows) {
    const Exception e(static_cast<HRESULT>(row.code), "error");
    EXPECT_EQ(e.errorNumber(), row.number) << std::hex << row.code;
    if (row.engine) {
      EXPECT_EQ(e.description(), "an exception has been raised in the COM object");
    } else {
      EXPECT_EQ(e.description(), messageText(static_cast<HRESULT>(row.code)));
    }
  }
  EXPECT_EQ(Exception(E_UNEXPECTED, "x").description(), "Catastrophic failure");
  EXPECT_EQ(Exception(REGDB_E_CLASSNOTREG, "x").description(), "Class not registered");
  EXPECT_EQ(Exception(S_FALSE, "x").description(), "");
  EXPECT_EQ(Exception(S_OK, "x").errorNumber(), 0);
  EXPECT_EQ(Exception(static_cast<HRESULT>(0x80051234u), "x").description(), "");
}

namespace {

class DatabaseClientTest : public TempDirTest {
 protected:
  void SetUp() override {
    setenv("VELMORA_REGISTRY", dir.file("registry.reg").c_str(), 1);
    ServerLibrary server(VELMORA_SERVER_LIBRARY);
    ASSERT_TRUE(server.loaded());
    ASSERT_EQ(server.registerServer(), S_OK);
  }
  void TearDown() override { unsetenv("VELMORA_REGISTRY"); }
};

}  // namespace

TEST_F(DatabaseClientTest, WrapsEveryKindOfResult) {
  ComInitializer com;
  DatabaseClient client("my database", 1);
  client.CreateTemporaryTable();
  EXPECT_EQ(client.AddField("name", 1), 0);
  EXPECT_EQ(client.AddRelationField("boss", "people"), 1);
  EXPECT_EQ(client.CreateTable("people"), 0);
  client.ChooseTable("people");
  client.SetString("name", "ann");
  EXPECT_EQ(client.AddRecord(-1), 0);
  EXPECT_EQ(client.GetString("people", 0, "name"), "ann");
  EXPECT_EQ(client.GetRelationTarget("people", 1), "people");
  EXPECT_TRUE(client.RecordExists("people", 0));
  EXPECT_FALSE(client.TableExists(1));
  EXPECT_EQ(client.GetChildCount("people", 0, "people"), 1);
  const std::string file = dir.file("client.xml");
  EXPECT_TRUE(client.Save(file));
  EXPECT_TRUE(client.Load(file));
  EXPECT_EQ(client.GetTableName(0), "people");
  try {
    client.GetInt("people", 0, "name");
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.text(), "error");
    EXPECT_EQ(e.getCode(), static_cast<HRESULT>(0x80040209u));
    EXPECT_EQ(e.errorNumber(), 9);
  }
}

TEST_F(DatabaseClientTest, CreationFailuresCarryThePlatformCode) {
  try {
    DatabaseClient client("x", 1);  // no ComInitializer on this thread
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.text(), "Couldn't create instance");
    EXPECT_EQ(e.getCode(), CO_E_NOTINITIALIZED);
    EXPECT_EQ(e.errorNumber(), 0);
  }
  ComInitializer com;
  setenv("VELMORA_REGISTRY", dir.file("empty.reg").c_str(), 1);
  try {
    DatabaseClient client("x", 1);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.text(), "Couldn't create instance");
    EXPECT_EQ(e.getCode(), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(e.description(), "Class not registered");
  }
}

TEST_F(DatabaseClientTest, SecondInterfaceFindsSkipsEmptySlotsAndExplainsFailures) {
  ComInitializer com;
  DatabaseClient client("staff", 1);
  client.CreateTemporaryTable();
  client.AddField("name", kStringField);
  client.AddField("age", kIntField);
  client.CreateTable("employee");
  for (int age : {30, 40, 30}) {
    client.ChooseTable("employee");
    client.SetInt("age", age);
    client.AddRecord(-1);
  }
  client.DeleteRecord("employee", 0);
  std::vector<int32_t> seen;
  for (int32_t r : client.records("employee")) seen.push_back(r);
  EXPECT_EQ(seen, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(client.findInt("employee", "age", 30), 2);
  EXPECT_EQ(client.findString("employee", "name", "", 2), 2);
  EXPECT_EQ(client.databaseName(), "staff");
  EXPECT_EQ(client.version(), VELMORA_VERSION);
  try {
    client.findInt("employee", "agee", 1);
    FAIL() << "no exception";
  } catch (const std::exception& e) {  // what a caller without our types catches
    EXPECT_STREQ(e.what(), "unknown field \"agee\" in table \"employee\"");
    const auto* ours = dynamic_cast<const Exception*>(&e);
    ASSERT_NE(ours, nullptr);
    EXPECT_EQ(ours->errorNumber(), ErrorNumber::NameNotFound);
  }
}
