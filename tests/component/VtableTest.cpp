// Calls every method of the component interface through the raw vtable by slot number, as a
// caller compiled without our headers would.
#include <string>

#include <gtest/gtest.h>

#include "tests/support/ServerLibrary.h"
#include "tests/support/TempDir.h"

using namespace velmora;

namespace {

class VtableTest : public TempDirTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.loaded()) << dlerror();
    object = server.create();
    ASSERT_NE(object, nullptr);
  }
  void TearDown() override {
    if (object != nullptr) slot<uint32_t>(2);  // Release
  }

  // Calls slot i with the object pointer first.
  template <typename Result = HRESULT, typename... Args>
  Result slot(int i, Args... args) {
    void** table = *reinterpret_cast<void***>(object);
    using Function = Result (*)(void*, Args...);
    return reinterpret_cast<Function>(table[i])(object, args...);
  }

  ServerLibrary server{VELMORA_SERVER_LIBRARY};
  IVelmoraDatabase* object = nullptr;
};

}  // namespace

TEST_F(VtableTest, EverySlotDoesItsOperation) {
  int32_t n = -1;
  uint8_t flag = 7;
  const char* text = nullptr;
  void* out = nullptr;

  EXPECT_EQ(slot(0, &IID_IVelmoraDatabase, &out), S_OK);  // QueryInterface
  EXPECT_EQ(slot<uint32_t>(1), 3u);                       // AddRef
  EXPECT_EQ(slot<uint32_t>(2), 2u);                       // Release
  EXPECT_EQ(slot<uint32_t>(2), 1u);

  EXPECT_EQ(slot(3, "my database", int32_t{1}), S_OK);  // CreateDatabase
  EXPECT_EQ(slot(4), S_OK);                             // CreateTemporaryTable
  EXPECT_EQ(slot(5, "name", int32_t{1}, &n), S_OK);     // AddField
  EXPECT_EQ(n, 0);
  EXPECT_EQ(slot(5, "age", int32_t{0}, &n), S_OK);
  EXPECT_EQ(slot(5, "long", int32_t{2}, &n), S_OK);
  EXPECT_EQ(slot(6, "self", "people", &n), S_OK);  // AddRelationField
  EXPECT_EQ(n, 3);
  EXPECT_EQ(slot(7, "people", &n), S_OK);  // CreateTable
  EXPECT_EQ(n, 0);
  EXPECT_EQ(slot(8, int32_t{0}), S_OK);                // ChooseTableAt
  EXPECT_EQ(slot(10, int32_t{0}, "ann"), S_OK);        // SetStringAt
  EXPECT_EQ(slot(11, int32_t{1}, int32_t{30}), S_OK);  // SetIntAt
  EXPECT_EQ(slot(12, int32_t{2}, int32_t{-5}), S_OK);  // SetLongAt
  EXPECT_EQ(slot(16, int32_t{3}, int32_t{0}), S_OK);   // SetRelationAt
  EXPECT_EQ(slot(18, &n, int32_t{-1}), S_OK);          // AddRecord: out first
  EXPECT_EQ(n, 0);
  EXPECT_EQ(slot(9, "people"), S_OK);              // ChooseTable
  EXPECT_EQ(slot(13, "name", "bob"), S_OK);        // SetString
  EXPECT_EQ(slot(14, "long", int32_t{77}), S_OK);  // SetLong
  EXPECT_EQ(slot(15, "age", int32_t{40}), S_OK);   // SetInt
  EXPECT_EQ(slot(17, "self", int32_t{0}), S_OK);   // SetRelation
  EXPECT_EQ(slot(18, &n, int32_t{-1}), S_OK);
  EXPECT_EQ(n, 1);

  EXPECT_EQ(slot(19, int32_t{0}, int32_t{1}, &flag), S_OK);  // RecordExistsAt
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(slot(20, "people", int32_t{2}, &flag), S_OK);  // RecordExists
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(slot(21, int32_t{0}, &n), S_OK);  // GetRecordCountAt
  EXPECT_EQ(n, 2);
  EXPECT_EQ(slot(22, "people", &n), S_OK);  // GetRecordCount
  EXPECT_EQ(n, 2);
  EXPECT_EQ(slot(25, int32_t{0}, "long", &n), S_OK);  // GetFieldTypeAt
  EXPECT_EQ(n, 2);
  EXPECT_EQ(slot(26, "people", "self", &n), S_OK);  // GetFieldType
  EXPECT_EQ(n, 3);
  EXPECT_EQ(slot(27, int32_t{0}, int32_t{3}, &text), S_OK);  // GetRelationTargetAt
  EXPECT_STREQ(text, "people");
  EXPECT_EQ(slot(28, "people", int32_t{3}, &text), S_OK);  // GetRelationTarget
  EXPECT_STREQ(text, "people");
  EXPECT_EQ(slot(29, int32_t{0}, "age", &n), S_OK);  // GetFieldIndexAt
  EXPECT_EQ(n, 1);
  EXPECT_EQ(slot(30, "people", "long", &n), S_OK);  // GetFieldIndex
  EXPECT_EQ(n, 2);
  EXPECT_EQ(slot(31, int32_t{0}, int32_t{0}, &text), S_OK);  // GetFieldNameAt
  EXPECT_STREQ(text, "name");
  EXPECT_EQ(slot(32, "people", int32_t{1}, &text), S_OK);  // GetFieldName
  EXPECT_STREQ(text, "age");
  EXPECT_EQ(slot(33, int32_t{0}, &n), S_OK);  // GetFieldCountAt
  EXPECT_EQ(n, 4);
  EXPECT_EQ(slot(34, "people", &n), S_OK);  // GetFieldCount
  EXPECT_EQ(n, 4);
  EXPECT_EQ(slot(35, int32_t{0}, int32_t{0}, int32_t{1}, &n), S_OK);  // GetIntAt
  EXPECT_EQ(n, 30);
  EXPECT_EQ(slot(36, "people", int32_t{1}, "age", &n), S_OK);  // GetInt
  EXPECT_EQ(n, 40);
  EXPECT_EQ(slot(37, int32_t{0}, int32_t{0}, int32_t{2}, &n), S_OK);  // GetLongAt
  EXPECT_EQ(n, -5);
  EXPECT_EQ(slot(38, "people", int32_t{1}, "long", &n), S_OK);  // GetLong
  EXPECT_EQ(n, 77);
  EXPECT_EQ(slot(39, int32_t{0}, int32_t{0}, int32_t{0}, &text), S_OK);  // GetStringAt
  EXPECT_STREQ(text, "ann");
  EXPECT_EQ(slot(40, "people", int32_t{1}, "name", &text), S_OK);  // GetString
  EXPECT_STREQ(text, "bob");
  EXPECT_EQ(slot(41, int32_t{0}, int32_t{1}, int32_t{3}, &n), S_OK);  // GetRelationAt
  EXPECT_EQ(n, 0);
  EXPECT_EQ(slot(42, "people", int32_t{0}, "self", &n), S_OK);  // GetRelation
  EXPECT_EQ(n, 0);
  EXPECT_EQ(slot(43, int32_t{0}, int32_t{0}, int32_t{0}, &n), S_OK);  // GetChildCountAt
  EXPECT_EQ(n, 2);
  EXPECT_EQ(slot(44, "people", int32_t{0}, "people", &n), S_OK);  // GetChildCount
  EXPECT_EQ(n, 2);
  EXPECT_EQ(slot(45, int32_t{0}, int32_t{0}, int32_t{0}, int32_t{1}, &n), S_OK);  // GetChildAt
  EXPECT_EQ(n, 1);
  EXPECT_EQ(slot(46, "people", int32_t{0}, "people", int32_t{0}, &n), S_OK);  // GetChild
  EXPECT_EQ(n, 0);

  const std::string file = dir.file("vtable.xml");
  flag = 7;
  EXPECT_EQ(slot(48, file.c_str(), &flag), S_OK);  // Save
  EXPECT_EQ(flag, 1);
  flag = 7;
  EXPECT_EQ(slot(47, file.c_str(), &flag), S_OK);  // Load
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(slot(21, int32_t{0}, &n), S_OK);
  EXPECT_EQ(n, 2);

  EXPECT_EQ(slot(50, int32_t{0}, &flag), S_OK);  // TableExists
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(slot(51, "people", &n), S_OK);  // GetTableIndex
  EXPECT_EQ(n, 0);
  EXPECT_EQ(slot(52, int32_t{0}, &text), S_OK);  // GetTableName
  EXPECT_STREQ(text, "people");
  EXPECT_EQ(slot(54, &n), S_OK);  // GetTableCount
  EXPECT_EQ(n, 1);

  EXPECT_EQ(slot(23, int32_t{0}, int32_t{1}), S_OK);  // DeleteRecordAt
  EXPECT_EQ(slot(19, int32_t{0}, int32_t{1}, &flag), S_OK);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(slot(24, "people", int32_t{0}), S_OK);  // DeleteRecord: the cascade of the rest
  EXPECT_EQ(slot(20, "people", int32_t{0}, &flag), S_OK);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(slot(49), S_OK);  // ClearAllRecords
  EXPECT_EQ(slot(22, "people", &n), S_OK);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(slot(53, int32_t{0}), S_OK);  // DeleteTable
  EXPECT_EQ(slot(50, int32_t{0}, &flag), S_OK);
  EXPECT_EQ(flag, 0);
}
