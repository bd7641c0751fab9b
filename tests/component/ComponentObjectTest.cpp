#include <string>

#include <gtest/gtest.h>

#include "tests/support/ServerLibrary.h"
#include "tests/support/TempDir.h"

using namespace velmora;

namespace {

class ComponentObjectTest : public TempDirTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.loaded()) << dlerror();
    db = server.create();
  }
  void TearDown() override {
    if (db != nullptr) {
      EXPECT_EQ(db->Release(), 0u);
    }
  }
  void defineEmployee() {
    int32_t out = 0;
    ASSERT_EQ(db->CreateTemporaryTable(), S_OK);
    ASSERT_EQ(db->AddField("name", 1, &out), S_OK);
    ASSERT_EQ(db->AddField("surname", 1, &out), S_OK);
    ASSERT_EQ(db->AddField("age", 0, &out), S_OK);
    ASSERT_EQ(db->CreateTable("employee", &out), S_OK);
  }

  ServerLibrary server{VELMORA_SERVER_LIBRARY};
  IVelmoraDatabase* db = nullptr;
};

}  // namespace

TEST_F(ComponentObjectTest, FailuresBecomeResultCodesAndLeaveOutParametersAlone) {
  int32_t out = 1234;
  EXPECT_EQ(db->SetInt("age", 1), engineCode(4));
  EXPECT_EQ(db->AddField("x", 0, &out), engineCode(3));
  EXPECT_EQ(db->ChooseTable("nope"), engineCode(1));
  EXPECT_EQ(db->GetIntAt(0, 0, 0, &out), engineCode(14));
  EXPECT_EQ(db->GetTableName(5, nullptr), E_UNEXPECTED);
  const char* text = "untouched";
  EXPECT_EQ(db->GetTableName(5, &text), engineCode(2));
  EXPECT_STREQ(text, "untouched");
  EXPECT_EQ(out, 1234);
  defineEmployee();
  ASSERT_EQ(db->ChooseTable("employee"), S_OK);
  ASSERT_EQ(db->AddRecord(&out, -1), S_OK);
  EXPECT_EQ(out, 0);
  EXPECT_EQ(db->SetInt("name", 1), engineCode(9));  // type before temporary record
  EXPECT_EQ(db->SetString("name", "x"), engineCode(11));
  out = 99;
  EXPECT_EQ(db->GetChildCount("employee", 0, "employee", &out), engineCode(12));
  EXPECT_EQ(out, 99);
}

TEST_F(ComponentObjectTest, NullPointersAreRefusedBeforeAnythingChanges) {
  int32_t out = 0;
  EXPECT_EQ(db->CreateDatabase(nullptr, 1), E_UNEXPECTED);
  EXPECT_EQ(db->CreateTemporaryTable(), S_OK);
  EXPECT_EQ(db->AddField(nullptr, 1, &out), E_UNEXPECTED);
  EXPECT_EQ(db->AddField("a", 1, nullptr), E_UNEXPECTED);
  EXPECT_EQ(db->AddRelationField("a", nullptr, &out), E_UNEXPECTED);
  EXPECT_EQ(db->AddField("first", 1, &out), S_OK);
  EXPECT_EQ(out, 0);  // the refused calls added nothing
  EXPECT_EQ(db->CreateTable("t", nullptr), E_UNEXPECTED);
  EXPECT_EQ(db->CreateTable("t", &out), S_OK);
  EXPECT_EQ(db->AddRecord(nullptr, -1), E_UNEXPECTED);
  EXPECT_EQ(db->Save(nullptr, nullptr), E_UNEXPECTED);
  EXPECT_EQ(db->Load("x", nullptr), E_UNEXPECTED);
  EXPECT_EQ(db->GetString(nullptr, 0, "f", nullptr), E_UNEXPECTED);
  EXPECT_EQ(db->GetTableCount(nullptr), E_UNEXPECTED);
  EXPECT_EQ(db->ChooseTable(""), engineCode(1));  // an empty name is a name
}

TEST_F(ComponentObjectTest, TextResultsPointAtStoredText) {
  defineEmployee();
  int32_t out = 0;
  ASSERT_EQ(db->ChooseTable("employee"), S_OK);
  ASSERT_EQ(db->SetString("name", "john"), S_OK);
  ASSERT_EQ(db->AddRecord(&out, -1), S_OK);
  const char* first = nullptr;
  const char* second = nullptr;
  ASSERT_EQ(db->GetString("employee", 0, "name", &first), S_OK);
  ASSERT_EQ(db->GetStringAt(0, 0, 0, &second), S_OK);
  EXPECT_EQ(first, second);  // no copy per call
  EXPECT_STREQ(first, "john");
  const char* empty = nullptr;
  ASSERT_EQ(db->GetString("employee", 0, "surname", &empty), S_OK);
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty, "");
}

TEST_F(ComponentObjectTest, BytesOtherThanZeroCrossUnchanged) {
  defineEmployee();
  std::string value;
  for (int b = 1; b < 256; ++b) value.push_back(static_cast<char>(b));
  int32_t out = 0;
  ASSERT_EQ(db->ChooseTable("employee"), S_OK);
  ASSERT_EQ(db->SetString("name", value.c_str()), S_OK);
  ASSERT_EQ(db->AddRecord(&out, -1), S_OK);
  const char* text = nullptr;
  ASSERT_EQ(db->GetString("employee", 0, "name", &text), S_OK);
  EXPECT_EQ(std::string(text), value);
}

TEST_F(ComponentObjectTest, SaveAndLoadReportTheirVerdicts) {
  defineEmployee();
  uint8_t flag = 7;
  EXPECT_EQ(db->Load(dir.file("missing.xml").c_str(), &flag), engineCode(101));
  EXPECT_EQ(flag, 7);
  EXPECT_EQ(db->Save(dir.file("no/such/dir/x.xml").c_str(), &flag), engineCode(102));
  EXPECT_EQ(flag, 7);
  writeFileBytes(dir.file("info.xml"), "<info><name>x</name></info>");
  EXPECT_EQ(db->Load(dir.file("info.xml").c_str(), &flag), S_OK);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(db->Save(dir.file("ok.xml").c_str(), &flag), S_OK);
  EXPECT_EQ(flag, 1);
}
