#include <malloc.h>

#include <algorithm>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "engine/Database.h"
#include "engine/RecordRenumbering.h"
#include "tests/support/Schemas.h"
#include "tests/support/WinCode.h"

using namespace velmora;

namespace {

// P (Int v) with two records; C (Int v, Relation p -> P).
class RelationTest : public ::testing::Test {
 protected:
  RelationTest() : database("velmora", 1) {
    p = addTestTable(database, "P", {{"v", FieldType::Int, ""}});
    c = addTestTable(database, "C", {{"v", FieldType::Int, ""}, {"p", FieldType::Relation, "P"}});
    addRecords(parentTable(), {{0, -1}, {1, -1}});
  }

  Table& parentTable() { return database.tableByIndex(p); }
  Table& childTable() { return database.tableByIndex(c); }

  // Each pair: (v, relation value or -1 for none).
  static void addRecords(Table& table, std::initializer_list<std::pair<int, int>> rows) {
    for (const auto& [value, relation] : rows) {
      table.createTemporaryRecord();
      table.setInt("v", value);
      if (relation >= 0) table.setRelation("p", relation);
      table.addRecord(-1);
    }
  }

  Database database;
  int p = -1;
  int c = -1;
};

}  // namespace

TEST_F(RelationTest, ChildListsFollowRelationValues) {
  addRecords(childTable(), {{10, 1}, {11, 0}, {12, 1}});
  EXPECT_EQ(parentTable().getChildCount(1, c), 2);
  EXPECT_EQ(parentTable().childRecord(1, c, 0), 0);
  EXPECT_EQ(parentTable().childRecord(1, "C", 1), 2);
  EXPECT_WIN_CODE(parentTable().childRecord(1, c, 2), 13);
  EXPECT_WIN_CODE(parentTable().childRecord(1, c, -1), 14);
  EXPECT_WIN_CODE(parentTable().getChildCount(2, c), 14);
  EXPECT_WIN_CODE(parentTable().getChildCount(-1, c), 14);
  EXPECT_WIN_CODE(parentTable().getChildCount(0, p), 12);
  EXPECT_WIN_CODE(parentTable().getChildCount(0, "nope"), 1);
  EXPECT_EQ(childTable().getRelation(2, "p"), 1);
  EXPECT_EQ(database.tableByName("P").getDefinition().getFieldCount(), 1);
}

TEST_F(RelationTest, CascadingDeleteRemovesChildrenFirst) {
  addRecords(childTable(), {{10, 1}, {11, 0}, {12, 1}});
  parentTable().deleteRecord(1);
  EXPECT_FALSE(parentTable().recordExists(1));
  EXPECT_FALSE(childTable().recordExists(0));
  EXPECT_TRUE(childTable().recordExists(1));
  EXPECT_FALSE(childTable().recordExists(2));
  EXPECT_EQ(parentTable().getChildCount(1, c), 0);
  EXPECT_EQ(parentTable().getChildCount(0, c), 1);
  EXPECT_EQ(childTable().getRecordCount(), 3);
  EXPECT_EQ(parentTable().getRecordCount(), 2);
}

TEST_F(RelationTest, RelationValueWithoutChildListFailsAfterStoring) {
  childTable().setRelation("p", 5);
  EXPECT_WIN_CODE(childTable().addRecord(-1), 14);
  EXPECT_TRUE(childTable().recordExists(0));
  childTable().createTemporaryRecord();
  childTable().setRelation("p", -1);
  EXPECT_WIN_CODE(childTable().addRecord(-1), 14);
  // Later appends to P still give every slot its child list.
  addRecords(parentTable(), {{2, -1}});
  EXPECT_EQ(parentTable().getChildCount(2, c), 0);
}

TEST_F(RelationTest, ReplacingARecordMovesItBetweenParents) {
  addRecords(childTable(), {{10, 0}});
  childTable().createTemporaryRecord();
  childTable().setRelation("p", 1);
  EXPECT_EQ(childTable().addRecord(0), 0);
  EXPECT_EQ(parentTable().getChildCount(0, c), 0);
  EXPECT_EQ(parentTable().getChildCount(1, c), 1);
}

TEST_F(RelationTest, RegistrationAfterParentRecordsExist) {
  const int late =
      addTestTable(database, "late", {{"v", FieldType::Int, ""}, {"p", FieldType::Relation, "P"}});
  Table& table = database.tableByIndex(late);
  table.setRelation("p", 0);
  table.addRecord(-1);
  EXPECT_EQ(parentTable().getChildCount(0, late), 1);
  EXPECT_EQ(parentTable().getChildCount(1, late), 0);
}

TEST_F(RelationTest, SelfReferencesAndCyclesTerminate) {
  const int s =
      addTestTable(database, "S", {{"v", FieldType::Int, ""}, {"p", FieldType::Relation, "S"}});
  Table& self = database.tableByIndex(s);
  // 0 -> 0 (itself); 1 -> 2, 2 -> 1 (a two-record cycle).
  addRecords(self, {{0, 0}, {1, 0}, {2, 1}});
  self.createTemporaryRecord();
  self.setRelation("p", 2);
  self.addRecord(1);
  self.deleteRecord(0);
  EXPECT_FALSE(self.recordExists(0));
  EXPECT_TRUE(self.recordExists(1));
  self.deleteRecord(1);
  EXPECT_FALSE(self.recordExists(1));
  EXPECT_FALSE(self.recordExists(2));
}

TEST_F(RelationTest, CycleThroughSeveralTables) {
  // A -> B -> A through relation fields in both; A is created pointing at itself first.
  Database db("x", 1);
  const int a = addTestTable(db, "A", {{"b", FieldType::Relation, "A"}});
  const int b = addTestTable(db, "B", {{"a", FieldType::Relation, "A"}});
  Table& tableA = db.tableByIndex(a);
  Table& tableB = db.tableByIndex(b);
  tableA.addRecord(-1);  // A0 -> A0
  tableB.setRelation("a", 0);
  tableB.addRecord(-1);  // B0 -> A0
  tableA.deleteRecord(0);
  EXPECT_FALSE(tableA.recordExists(0));
  EXPECT_FALSE(tableB.recordExists(0));
}

TEST_F(RelationTest, ChildListedTwiceDeletesCleanly) {
  const int d = addTestTable(database, "D",
                             {{"v", FieldType::Int, ""},
                              {"p", FieldType::Relation, "P"},
                              {"q", FieldType::Relation, "P"}});
  Table& twice = database.tableByIndex(d);
  twice.setRelation("p", 1);
  twice.setRelation("q", 1);
  twice.addRecord(-1);
  EXPECT_EQ(parentTable().getChildCount(1, d), 2);  // the first registration holds both links
  parentTable().deleteRecord(1);
  EXPECT_FALSE(twice.recordExists(0));
  EXPECT_EQ(parentTable().getChildCount(1, d), 0);
}

// More Relation fields than a record keeps its lists for without the heap, alternating between
// two parent tables and, within one, between two parent records: every link lands in its list.
TEST_F(RelationTest, ManyRelationFieldsLinkEachIntoItsList) {
  const int q = addTestTable(database, "Q", {{"v", FieldType::Int, ""}});
  addRecords(database.tableByIndex(q), {{0, -1}, {1, -1}});
  std::vector<FieldSpec> fields;
  for (int f = 0; f < 13; ++f) {
    fields.push_back({"r" + std::to_string(f), FieldType::Relation, f % 2 == 0 ? "P" : "Q"});
  }
  const int w = addTestTable(database, "W", fields);
  Table& wide = database.tableByIndex(w);
  for (int f = 0; f < 13; ++f) wide.setRelation(f, (f / 2) % 2);
  wide.addRecord(-1);
  // P: fields 0, 2, ..., 12 name parents 0 1 0 1 0 1 0; Q: fields 1, 3, ..., 11 name 0 1 0 1 0 1.
  EXPECT_EQ(parentTable().getChildCount(0, w), 4);
  EXPECT_EQ(parentTable().getChildCount(1, w), 3);
  EXPECT_EQ(database.tableByIndex(q).getChildCount(0, w), 3);
  EXPECT_EQ(database.tableByIndex(q).getChildCount(1, w), 3);
  database.tableByIndex(q).deleteRecord(1);
  EXPECT_FALSE(wide.recordExists(0));
  EXPECT_EQ(parentTable().getChildCount(0, w), 0);
  EXPECT_EQ(parentTable().getChildCount(1, w), 0);
}

TEST_F(RelationTest, LongChainDeletesWithoutDeepRecursion) {
  const int s = addTestTable(database, "chain",
                             {{"v", FieldType::Int, ""}, {"p", FieldType::Relation, "chain"}});
  Table& chain = database.tableByIndex(s);
  const int length = 100000;
  for (int i = 0; i < length; ++i) {
    chain.createTemporaryRecord();
    chain.setRelation("p", i == 0 ? 0 : i - 1);
    chain.addRecord(-1);
  }
  chain.deleteRecord(0);
  EXPECT_FALSE(chain.recordExists(length - 1));
  EXPECT_EQ(chain.getRecordCount(), length);
}

TEST_F(RelationTest, AddTableWithUnknownTargetKeepsTheTable) {
  EXPECT_WIN_CODE(addTestTable(database, "orphan", {{"x", FieldType::Relation, "missing"}}), 1);
  EXPECT_EQ(database.tableIndex("orphan"), 2);
  EXPECT_TRUE(database.tableExists(2));
  // A type-3 field added without a target has no reference.
  EXPECT_WIN_CODE(addTestTable(database, "bare", {{"x", FieldType::Relation, ""}}), 7);
  EXPECT_TRUE(database.tableExists(3));
}

TEST_F(RelationTest, DeletedRelatedTablesAreRefused) {
  addRecords(childTable(), {{10, 1}});
  database.deleteTable(c);
  EXPECT_WIN_CODE(parentTable().deleteRecord(1), 14);  // its child table is gone
  EXPECT_TRUE(parentTable().recordExists(1));
  EXPECT_TRUE(parentTable().recordExists(0));
  parentTable().deleteRecord(0);  // an empty child list never needs the table

  const int again =
      addTestTable(database, "C2", {{"v", FieldType::Int, ""}, {"p", FieldType::Relation, "P"}});
  database.deleteTable(p);
  Table& orphan = database.tableByIndex(again);
  orphan.setRelation("p", 0);
  EXPECT_WIN_CODE(orphan.addRecord(-1), 14);
  EXPECT_WIN_CODE(addTestTable(database, "C3", {{"p", FieldType::Relation, "P"}}), 14);
}

// A child table remembers where its relation points between records; deleting the target, or
// adding a new table under its name, must be seen by the next record (#10).
TEST_F(RelationTest, LinksFollowTheTargetTableAcrossDeletionAndRenaming) {
  addRecords(childTable(), {{10, 1}});
  database.deleteTable(p);
  childTable().createTemporaryRecord();
  childTable().setRelation("p", 0);
  EXPECT_WIN_CODE(childTable().addRecord(-1), 14);

  const int renamed = addTestTable(database, "P", {{"v", FieldType::Int, ""}});
  Table& newParent = database.tableByIndex(renamed);
  newParent.createTemporaryRecord();
  newParent.addRecord(-1);
  childTable().createTemporaryRecord();
  childTable().setRelation("p", 0);
  EXPECT_WIN_CODE(childTable().addRecord(-1), 12);  // C never registered with the new P
}

TEST(RenumberingTest, ClosesGapsLeftByDeletedRecords) {
  Database database("velmora", 1);
  Table& table = database.tableByIndex(addEmployeeTable(database));
  for (int i = 0; i < 4; ++i) addEmployee(table, "n", "s", i);
  table.deleteRecord(1);
  const RecordRenumbering map(database);
  EXPECT_EQ(map.renumber("employee", 0), 0);
  EXPECT_EQ(map.renumber("employee", 1), 0);
  EXPECT_EQ(map.renumber("employee", 2), 1);
  EXPECT_EQ(map.renumber("employee", 3), 2);
  EXPECT_WIN_CODE(map.renumber("employee", 4), 14);
  EXPECT_WIN_CODE(map.renumber("employee", -1), 14);
  EXPECT_WIN_CODE(map.renumber("nope", 0), 1);

  table.deleteRecord(0);
  const RecordRenumbering afterFirstDelete(database);
  EXPECT_EQ(afterFirstDelete.renumber("employee", 0), -1);
  EXPECT_EQ(afterFirstDelete.renumber("employee", 2), 0);

  database.deleteTable(0);
  const RecordRenumbering afterDelete(database);
  EXPECT_EQ(afterDelete.getMapCount(), 1);
  EXPECT_EQ(afterDelete.mapOf(0).tableIndex, -1);
  EXPECT_WIN_CODE(afterDelete.renumber("employee", 0), 14);
}

// Removal in any order from long lists, with duplicates and reads in between, against a plain
// vector that removes the first occurrence.
TEST(ChildListTest, RemovesFirstOccurrencesInAnyOrder) {
  struct Case {
    int length;
    int duplicateEvery;  // every k-th record is appended a second time; 0 for none
    int order;           // 0 oldest first, 1 newest first, 2 shuffled, 3 every other then rest
    int readEvery;       // a full read-back every k removals; 0 for none
    int stride = 1;      // the records are 0, stride, 2 * stride...: gaps between them
  };
  const Case cases[] = {{40, 0, 0, 7},      {40, 0, 1, 7},     {500, 0, 2, 0},    {500, 3, 2, 13},
                        {500, 5, 3, 31},    {1000, 0, 1, 0},   {300, 2, 2, 1},    {33, 1, 3, 1},
                        {500, 0, 2, 17, 3}, {500, 0, 3, 0, 9}, {300, 4, 2, 11, 3}};
  for (const Case& test : cases) {
    SCOPED_TRACE(::testing::Message() << test.length << "/" << test.duplicateEvery << "/"
                                      << test.order << "/" << test.readEvery << "/" << test.stride);
    ChildList list;
    std::vector<int> model;
    for (int r = 0; r < test.length * test.stride; r += test.stride) {
      list.append(r);
      model.push_back(r);
      if (test.duplicateEvery > 0 && r % test.duplicateEvery == 0) {
        list.append(r);
        model.push_back(r);
      }
    }
    const int beyond = test.length * test.stride + 1;
    std::vector<int> removals = model;
    if (test.order == 1) std::reverse(removals.begin(), removals.end());
    if (test.order == 2) std::shuffle(removals.begin(), removals.end(), std::mt19937(test.length));
    if (test.order == 3) {
      std::stable_partition(removals.begin(), removals.end(), [](int r) { return r % 2 == 0; });
    }
    for (size_t k = 0; k < removals.size(); ++k) {
      list.removeFirst(removals[k]);
      model.erase(std::find(model.begin(), model.end(), removals[k]));
      if (test.duplicateEvery == 0) list.removeFirst(removals[k]);  // gone: nothing
      if (test.stride > 1) list.removeFirst(removals[k] + 1);       // never there: nothing
      if (k % 5 == 0) {  // an append in between, taken out again right away
        list.append(beyond);
        list.removeFirst(beyond);
      }
      ASSERT_EQ(list.getCount(), static_cast<int>(model.size()));
      if (test.readEvery > 0 && k % test.readEvery == 0) {
        for (size_t n = 0; n < model.size(); ++n) ASSERT_EQ(list.at(static_cast<int>(n)), model[n]);
      }
    }
    list.removeFirst(0);  // absent: nothing
    EXPECT_EQ(list.getCount(), 0);
  }
}

// Clearing and refilling a parent and a child table must reuse the child lists the cleared
// records left, not append more (#10).
TEST(RelationMemoryTest, ClearAndRefillKeepsHeapFlat) {
  Database database("velmora", 1);
  const int p = addTestTable(database, "P", {{"v", FieldType::Int, ""}});
  const int c =
      addTestTable(database, "C", {{"v", FieldType::Int, ""}, {"p", FieldType::Relation, "P"}});
  constexpr int kRecords = 100000;
  auto refill = [&] {
    database.clearAllRecords();
    Table& parent = database.tableByIndex(p);
    Table& child = database.tableByIndex(c);
    for (int r = 0; r < kRecords; ++r) {
      parent.createTemporaryRecord();
      parent.addRecord(-1);
    }
    for (int r = 0; r < kRecords; ++r) {
      child.createTemporaryRecord();
      child.setRelation("p", (r * 7) % kRecords);
      child.addRecord(-1);
    }
  };
  refill();
  const size_t afterOne = mallinfo2().uordblks;
  if (afterOne == 0) GTEST_SKIP() << "no heap statistics under this allocator";
  for (int k = 1; k < 20; ++k) refill();
  EXPECT_LE(static_cast<double>(mallinfo2().uordblks), 1.1 * static_cast<double>(afterOne));
  EXPECT_EQ(database.tableByIndex(p).getChildCount(7, c), 1);
  EXPECT_EQ(database.tableByIndex(p).childRecord(7, c, 0), 1);
  EXPECT_WIN_CODE(database.tableByIndex(p).getChildCount(kRecords, c), 14);
}
