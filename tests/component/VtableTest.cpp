// Calls every method of the component interface through the raw vtable by slot number, as a
// caller compiled without our headers would.
#include <string>

#include <gtest/gtest.h>

#include "velmora/Codes.h"
#include "velmora/IVelmoraDatabase2.h"
#include "velmora/Version.h"

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

// Slots 55-61 of the second interface, on an object created for the first one.
TEST_F(VtableTest, SecondInterfaceSlotsFindNameAndExplain) {
  void* second = nullptr;
  ASSERT_EQ(slot(0, &IID_IVelmoraDatabase2, &second), S_OK);  // QueryInterface
  EXPECT_EQ(second, static_cast<void*>(object));              // one object, one count
  EXPECT_EQ(slot<uint32_t>(2), 1u);
  const char* text = "untouched";
  EXPECT_EQ(slot(57, &text), S_OK);  // GetLastErrorText of a new instance
  EXPECT_STREQ(text, "");
  EXPECT_EQ(slot(60, &text), S_OK);  // GetDatabaseName
  EXPECT_STREQ(text, "velmora");
  EXPECT_EQ(slot(61, &text), S_OK);  // GetVersion
  EXPECT_STREQ(text, VELMORA_VERSION);

  int32_t n = 0;
  ASSERT_EQ(slot(3, "staff", int32_t{1}), S_OK);
  ASSERT_EQ(slot(4), S_OK);
  ASSERT_EQ(slot(5, "name", kStringField, &n), S_OK);
  ASSERT_EQ(slot(5, "age", kIntField, &n), S_OK);
  ASSERT_EQ(slot(5, "score", kLongField, &n), S_OK);
  ASSERT_EQ(slot(6, "boss", "people", &n), S_OK);
  ASSERT_EQ(slot(7, "people", &n), S_OK);
  struct Row {
    const char* name;
    int32_t age, score, boss;
  } const rows[] = {{"ann", 30, -5, 0}, {"bob", 40, 7, 0}, {"ann", 40, 7, 2}, {"", 30, 0, 2}};
  for (const Row& row : rows) {
    ASSERT_EQ(slot(9, "people"), S_OK);  // a fresh temporary record
    ASSERT_EQ(slot(13, "name", row.name), S_OK);
    ASSERT_EQ(slot(15, "age", row.age), S_OK);
    ASSERT_EQ(slot(14, "score", row.score), S_OK);
    ASSERT_EQ(slot(17, "boss", row.boss), S_OK);
    ASSERT_EQ(slot(18, &n, int32_t{-1}), S_OK);
  }
  ASSERT_EQ(slot(24, "people", int32_t{1}), S_OK);  // an empty slot between the others
  EXPECT_EQ(slot(60, &text), S_OK);
  EXPECT_STREQ(text, "staff");

  struct Find {
    const char* table;
    const char* field;
    const char* text;  // FindString when set, else FindInt with number
    int32_t number, from;
    HRESULT code;
    int32_t found;
  } const finds[] = {
      {"people", "name", "ann", 0, 0, S_OK, 0},
      {"people", "name", "ann", 0, 1, S_OK, 2},
      {"people", "name", "bob", 0, 0, S_OK, -1},  // only in the deleted slot
      {"people", "name", "", 0, 0, S_OK, 3},
      {"people", "name", "an", 0, 0, S_OK, -1},    // byte for byte, no prefixes
      {"people", "name", "ann", 0, 4, S_OK, -1},   // from at the count
      {"people", "name", "ann", 0, 99, S_OK, -1},  // and beyond it
      {"people", "age", nullptr, 40, 0, S_OK, 2},
      {"people", "age", nullptr, 30, 1, S_OK, 3},
      {"people", "score", nullptr, 7, 0, S_OK, 2},
      {"people", "boss", nullptr, 2, 0, S_OK, 2},
      {"people", "age", nullptr, 99, 0, S_OK, -1},
      {"people", "name", "ann", 0, -1, engineCode(14), 0},
      {"people", "age", nullptr, 30, -1, engineCode(14), 0},
      {"people", "age", "30", 0, 0, engineCode(10), 0},
      {"people", "name", nullptr, 0, 0, engineCode(9), 0},
      {"people", "age", "30", 0, -1, engineCode(10), 0},  // the type before from
      {"nope", "name", "ann", 0, -1, engineCode(1), 0},   // the names first
      {"people", "agee", nullptr, 0, -1, engineCode(1), 0},
  };
  for (const Find& f : finds) {
    SCOPED_TRACE(std::string(f.field) + " from " + std::to_string(f.from));
    int32_t found = 1234;
    const HRESULT code = f.text != nullptr ? slot(58, f.table, f.field, f.text, f.from, &found)
                                           : slot(59, f.table, f.field, f.number, f.from, &found);
    EXPECT_EQ(code, f.code);
    EXPECT_EQ(found, f.code == S_OK ? f.found : 1234);  // written only on success
    EXPECT_EQ(slot(57, &text), S_OK);
    EXPECT_EQ(text[0] == '\0', f.code == S_OK) << text;
  }

  // The text names what went wrong and outlives GetVersion and itself.
  EXPECT_EQ(slot(59, "people", "agee", int32_t{1}, int32_t{0}, &n), engineCode(1));
  EXPECT_EQ(slot(61, &text), S_OK);
  EXPECT_EQ(slot(57, &text), S_OK);
  EXPECT_STREQ(text, "unknown field \"agee\" in table \"people\"");
  EXPECT_EQ(slot(15, "agee", int32_t{1}), engineCode(1));  // SetInt on the current table
  EXPECT_EQ(slot(57, &text), S_OK);
  EXPECT_STREQ(text, "unknown field \"agee\" in table \"people\"");
  EXPECT_EQ(slot(36, "peeple", int32_t{0}, "age", &n), engineCode(1));  // GetInt
  EXPECT_EQ(slot(57, &text), S_OK);
  EXPECT_STREQ(text, "unknown table \"peeple\"");

  // Null pointers, each slot with every other argument valid.
  const std::string file = dir.file("schema.xml");
  uint8_t flag = 7;
  EXPECT_EQ(slot(55, static_cast<const char*>(nullptr), &flag), E_UNEXPECTED);
  EXPECT_EQ(slot(55, file.c_str(), static_cast<uint8_t*>(nullptr)), E_UNEXPECTED);
  EXPECT_EQ(slot(56, static_cast<const char*>(nullptr), &flag), E_UNEXPECTED);
  EXPECT_EQ(slot(56, file.c_str(), static_cast<uint8_t*>(nullptr)), E_UNEXPECTED);
  EXPECT_EQ(flag, 7);
  EXPECT_EQ(slot(57, static_cast<const char**>(nullptr)), E_UNEXPECTED);
  EXPECT_EQ(slot(58, "people", "name", static_cast<const char*>(nullptr), int32_t{0}, &n),
            E_UNEXPECTED);
  EXPECT_EQ(slot(58, "people", "name", "ann", int32_t{0}, static_cast<int32_t*>(nullptr)),
            E_UNEXPECTED);
  EXPECT_EQ(slot(59, static_cast<const char*>(nullptr), "age", int32_t{0}, int32_t{0}, &n),
            E_UNEXPECTED);
  EXPECT_EQ(slot(60, static_cast<const char**>(nullptr)), E_UNEXPECTED);
  EXPECT_EQ(slot(61, static_cast<const char**>(nullptr)), E_UNEXPECTED);
  EXPECT_EQ(slot(57, &text), S_OK);
  EXPECT_STRNE(text, "");

  EXPECT_EQ(slot(55, file.c_str(), &flag), S_OK);  // SaveWithSchema
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(slot(57, &text), S_OK);
  EXPECT_STREQ(text, "");
}

TEST_F(VtableTest, FactoryCreatesForTheSecondInterface) {
  IClassFactory* factory = server.factory();
  void* out = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IVelmoraDatabase2, &out), S_OK);
  factory->Release();
  auto* second = static_cast<IVelmoraDatabase2*>(out);
  void* first = nullptr;
  EXPECT_EQ(second->QueryInterface(IID_IVelmoraDatabase, &first), S_OK);
  EXPECT_EQ(first, out);
  EXPECT_EQ(second->Release(), 1u);
  EXPECT_EQ(second->Release(), 0u);
}
