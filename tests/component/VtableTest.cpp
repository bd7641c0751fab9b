// Calls every method of the component interface through the raw vtable by slot number, as a
// caller compiled without our headers would.
#include <string>
#include <utility>

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
    return call<Result>(object, i, args...);
  }
  template <typename Result = HRESULT, typename... Args>
  static Result call(IVelmoraDatabase* target, int i, Args... args) {
    void** table = *reinterpret_cast<void***>(target);
    using Function = Result (*)(void*, Args...);
    return reinterpret_cast<Function>(table[i])(target, args...);
  }
  std::string lastErrorText() {
    const char* text = nullptr;
    EXPECT_EQ(slot(57, &text), S_OK);
    return text != nullptr ? text : "";
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

namespace {

// A file saved with its schema: a self relation, a relation to another table, an emptied slot.
constexpr char kSchemaFile[] =
    "<!--this is a database created with velmora--><!--you can download this program from "
    "https://velmora.example.org/download--><database><info><name>st&amp;ff</name><version>1"
    "</version><schema><table><name>dept</name><field><name>id</name><type>Int</type></field>"
    "</table><table><name>people</name><field><name>name</name><type>String</type></field>"
    "<field><name>boss</name><type>Relation</type><target>people</target></field><field><name>"
    "in</name><type>Relation</type><target>dept</target></field><field><name>pay</name><type>"
    "Long</type></field></table></schema></info><data><dept><record><id>7</id></record></dept>"
    "<people><record><name>ann</name><boss>0</boss><in>0</in><pay>-5</pay></record><record>"
    "<name>c&lt;d</name><boss>0</boss><in>0</in><pay>9</pay></record></people></data>"
    "</database>";

}  // namespace

// Open builds exactly what SaveWithSchema wrote, and a failed or refused Open changes nothing:
// not the name, tables, records, temporary table or current table.
TEST_F(VtableTest, OpenReplacesTheWholeDatabaseOrNothing) {
  int32_t n = 0;
  uint8_t flag = 7;
  ASSERT_EQ(slot(3, "st&ff", int32_t{1}), S_OK);
  ASSERT_EQ(slot(4), S_OK);
  ASSERT_EQ(slot(5, "gone", kIntField, &n), S_OK);
  ASSERT_EQ(slot(7, "gone", &n), S_OK);
  ASSERT_EQ(slot(4), S_OK);
  ASSERT_EQ(slot(5, "id", kIntField, &n), S_OK);
  ASSERT_EQ(slot(7, "dept", &n), S_OK);
  ASSERT_EQ(slot(4), S_OK);
  ASSERT_EQ(slot(5, "name", kStringField, &n), S_OK);
  ASSERT_EQ(slot(6, "boss", "people", &n), S_OK);
  ASSERT_EQ(slot(6, "in", "dept", &n), S_OK);
  ASSERT_EQ(slot(5, "pay", kLongField, &n), S_OK);
  ASSERT_EQ(slot(7, "people", &n), S_OK);
  ASSERT_EQ(slot(53, int32_t{0}), S_OK);  // deleted tables are left out
  ASSERT_EQ(slot(9, "dept"), S_OK);
  ASSERT_EQ(slot(15, "id", int32_t{7}), S_OK);
  ASSERT_EQ(slot(18, &n, int32_t{-1}), S_OK);
  struct Person {
    const char* name;
    int32_t boss, pay;
  } const people[] = {{"x", 0, 0}, {"ann", 1, -5}, {"c<d", 1, 9}};
  for (const Person& person : people) {
    ASSERT_EQ(slot(9, "people"), S_OK);
    ASSERT_EQ(slot(13, "name", person.name), S_OK);
    ASSERT_EQ(slot(17, "boss", person.boss), S_OK);
    ASSERT_EQ(slot(17, "in", int32_t{0}), S_OK);
    ASSERT_EQ(slot(14, "pay", person.pay), S_OK);
    ASSERT_EQ(slot(18, &n, int32_t{-1}), S_OK);
  }
  ASSERT_EQ(slot(24, "people", int32_t{0}), S_OK);  // slot 0 empties; 1 and 2 become 0 and 1
  const std::string saved = dir.file("saved.xml");
  ASSERT_EQ(slot(55, saved.c_str(), &flag), S_OK);
  EXPECT_EQ(readFileBytes(saved), kSchemaFile);

  // The instance that opens: another database, a temporary table and a current table.
  IVelmoraDatabase* other = server.create();
  ASSERT_NE(other, nullptr);
  std::swap(object, other);
  ASSERT_EQ(slot(3, "before", int32_t{1}), S_OK);
  ASSERT_EQ(slot(4), S_OK);
  ASSERT_EQ(slot(5, "v", kIntField, &n), S_OK);
  ASSERT_EQ(slot(7, "keep", &n), S_OK);
  ASSERT_EQ(slot(9, "keep"), S_OK);
  ASSERT_EQ(slot(18, &n, int32_t{-1}), S_OK);
  ASSERT_EQ(slot(9, "keep"), S_OK);
  ASSERT_EQ(slot(4), S_OK);
  const std::string before = dir.file("before.xml");
  ASSERT_EQ(slot(48, before.c_str(), &flag), S_OK);
  const std::string expected = readFileBytes(before);

  const std::string good(kSchemaFile);
  const auto replace = [&good](const std::string& from, const std::string& to) {
    std::string bytes = good;
    bytes.replace(bytes.find(from), from.size(), to);
    return bytes;
  };
  struct Case {
    const char* label;
    std::string bytes;  // "" for a file that does not exist
    HRESULT code;
  } const cases[] = {
      {"missing", "", engineCode(101)},
      {"no schema", expected, engineCode(15)},
      {"not a database", "<base><info/></base>", S_OK},
      {"no data", replace("<data>", "<!--").substr(0, good.find("<data>")) + "</database>", S_OK},
      {"unknown type", replace("Long", "Float"), engineCode(101)},
      {"field without a type", replace("<type>Int</type>", ""), engineCode(101)},
      {"repeated table", replace("<name>people</name>", "<name>dept</name>"), engineCode(101)},
      {"repeated field", replace("<name>in</name>", "<name>boss</name>"), engineCode(101)},
      {"broken records", replace("</people>", "</peple>"), engineCode(101)},
      {"table not in the schema", replace("<data>", "<data><ghost><record/></ghost>"),
       engineCode(1)},
      {"bad relation value",
       replace("<boss>0</boss><in>0</in><pay>9",
               "<boss>5</boss><in>0</in>"
               "<pay>9"),
       engineCode(14)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string file = dir.file("case.xml");
    if (c.bytes.empty()) {
      ::remove(file.c_str());
    } else {
      writeFileBytes(file, c.bytes);
    }
    flag = 7;
    EXPECT_EQ(slot(56, file.c_str(), &flag), c.code);
    EXPECT_EQ(flag, c.code == S_OK ? 0 : 7);
    EXPECT_EQ(lastErrorText().empty(), c.code == S_OK);
    ASSERT_EQ(slot(48, before.c_str(), &flag), S_OK);
    EXPECT_EQ(readFileBytes(before), expected);
    EXPECT_EQ(slot(11, int32_t{0}, int32_t{3}), S_OK);  // SetIntAt: still a current table
    EXPECT_EQ(slot(5, "w", kIntField, &n), S_OK);       // still a temporary table
  }

  ASSERT_EQ(slot(56, saved.c_str(), &flag), S_OK);
  EXPECT_EQ(flag, 1);
  const std::string again = dir.file("again.xml");
  ASSERT_EQ(slot(55, again.c_str(), &flag), S_OK);
  EXPECT_EQ(readFileBytes(again), kSchemaFile);
  EXPECT_EQ(slot(44, "people", int32_t{0}, "people", &n), S_OK);  // GetChildCount
  EXPECT_EQ(n, 2);
  EXPECT_EQ(slot(44, "dept", int32_t{0}, "people", &n), S_OK);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(slot(11, int32_t{0}, int32_t{3}), engineCode(4));  // no current table
  EXPECT_EQ(slot(5, "w", kIntField, &n), engineCode(3));       // no temporary table
  std::swap(object, other);
  call<uint32_t>(other, 2);
}

// What a schema cannot carry is refused before the file is touched, and the text says what.
TEST_F(VtableTest, SaveWithSchemaRefusesWhatOpenCouldNotRebuild) {
  int32_t n = 0;
  uint8_t flag = 7;
  struct Case {
    const char* label;
    const char* fields[2];  // "name:type", a type of 3 for a relation to "t"
    const char* secondTable;
    const char* text;
  } const cases[] = {
      {"repeated field",
       {"a:0", "a:1"},
       nullptr,
       "the field name \"a\" is used twice in table \"t\""},
      {"odd type",
       {"a:0", "b:9"},
       nullptr,
       "field \"b\" in table \"t\" has type 9, which a schema"
       " cannot describe"},
      {"plain relation",
       {"a:3", "b:0"},
       nullptr,
       "relation field \"a\" in table \"t\" has no "
       "target"},
      {"repeated table",
       {"a:0", "b:0"},
       "t",
       "the table name \"t\" is used by more than one table"},
  };
  const std::string file = dir.file("refused.xml");
  writeFileBytes(file, "old");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_EQ(slot(3, "d", int32_t{1}), S_OK);
    for (const char* table : {"t", c.secondTable}) {
      if (table == nullptr) continue;
      ASSERT_EQ(slot(4), S_OK);
      for (const char* field : c.fields) {
        const std::string name(field, 1);
        ASSERT_EQ(slot(5, name.c_str(), int32_t{field[2] - '0'}, &n), S_OK);
      }
      slot(7, table, &n);  // a relation without a target: kept, with code 7
    }
    EXPECT_EQ(slot(55, file.c_str(), &flag), engineCode(16));
    EXPECT_EQ(lastErrorText(), c.text);
    EXPECT_EQ(readFileBytes(file), "old");
    EXPECT_EQ(flag, 7);
    slot<uint32_t>(2);
    object = server.create();
    ASSERT_NE(object, nullptr);
  }
}

// A file that cannot be read names itself, the line and the byte column of the token that
// failed, with LF, CR LF and one-line layouts alike.
TEST_F(VtableTest, ReadFailuresSayWhere) {
  struct Case {
    const char* label;
    const char* lines[4];  // joined by the line end under test
    int line, column;
    const char* message;
  } const cases[] = {
      {"mismatched end tag",
       {"<database><info><schema/></info>", "  <data><t></u>", "</data></database>"},
       2,
       12,
       "mismatched"},
      {"unterminated tag",
       {"<database><info><schema/></info>", "  <data><t", "", ""},
       2,
       9,
       "unterminated tag"},
      {"unterminated comment", {"<database>", " <!-- x", "", ""}, 2, 2, "unterminated comment"},
      {"stray text",
       {"<database><info><schema/></info><data/></database>", " x", "", ""},
       2,
       2,
       "text outside the root element"},
      {"unknown type",
       {"<database><info><schema><table><name>t</name>",
        "\t<field><name>f</name><type>Float</type></field>", "", ""},
       2,
       23,
       "unknown field type \"Float\""},
      {"repeated field",
       {"<database><info><schema><table><name>t</name>",
        "<field><name>f</name><type>Int</type></field>",
        "  <field><name>f</name><type>Int</type></field>", ""},
       3,
       3,
       "repeated field name \"f\""},
  };
  const std::string file = dir.file("bad.xml");
  for (const char* end : {"\n", "\r\n"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.label) + (end[1] != '\0' ? " CR LF" : " LF"));
      std::string bytes;
      for (const char* line : c.lines) {
        if (line == nullptr || *line == '\0') continue;
        if (!bytes.empty()) bytes += end;
        bytes += line;
      }
      writeFileBytes(file, bytes);
      const std::string where =
          file + ":" + std::to_string(c.line) + ":" + std::to_string(c.column) + ": ";
      uint8_t flag = 7;
      const bool schemaFault = std::string(c.label).find("type") != std::string::npos ||
                               std::string(c.label).find("repeated") != std::string::npos;
      if (!schemaFault) {
        EXPECT_EQ(slot(47, file.c_str(), &flag), engineCode(101));  // Load
        EXPECT_EQ(lastErrorText().rfind(where + c.message, 0), 0u) << lastErrorText();
      }
      EXPECT_EQ(slot(56, file.c_str(), &flag), engineCode(101));  // Open
      EXPECT_EQ(lastErrorText().rfind(where + c.message, 0), 0u) << lastErrorText();
      EXPECT_EQ(flag, 7);
    }
  }
  // Without a place: the file and why.
  uint8_t flag = 7;
  EXPECT_EQ(slot(47, dir.file("none.xml").c_str(), &flag), engineCode(101));
  EXPECT_EQ(lastErrorText().rfind(dir.file("none.xml") + ": ", 0), 0u) << lastErrorText();
}
