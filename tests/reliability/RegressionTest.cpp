// Regression tests for faults the reliability runs found (issue 6), each named for the
// behaviour it pins.
#include <stdint.h>

#include <string>

#include <gtest/gtest.h>

#include "velmora/Identifiers.h"

#include "component/ComponentObject.h"
#include "tests/support/ServerLibrary.h"
#include "tests/support/TempDir.h"

using namespace velmora;

namespace {

class RegressionTest : public TempDirTest {
 protected:
  void SetUp() override {
    void* out = nullptr;
    ASSERT_EQ((new ComponentObject())->QueryInterface(IID_IVelmoraDatabase, &out), S_OK);
    db = static_cast<IVelmoraDatabase*>(out);
  }
  void TearDown() override { db->Release(); }

  IVelmoraDatabase* db = nullptr;
};

}  // namespace

// Found by the random sequences (issue 6): a save that cannot write two values reports the one
// that comes first in the file. Here field 0 refers to a slot its target table does not have
// (14) and field 1 to a table that does not exist (1); the save used to resolve every relation
// target of a table before writing its first value, and so reported 1.
TEST_F(RegressionTest, SaveReportsTheFirstUnwritableValueInFileOrder) {
  int32_t out = 0;
  ASSERT_EQ(db->CreateTemporaryTable(), S_OK);
  ASSERT_EQ(db->CreateTable("parent", &out), S_OK);
  ASSERT_EQ(db->CreateTemporaryTable(), S_OK);
  ASSERT_EQ(db->AddRelationField("boss", "parent", &out), S_OK);
  ASSERT_EQ(db->AddRelationField("other", "missing", &out), S_OK);
  ASSERT_EQ(db->CreateTable("child", &out), engineCode(1));  // stored all the same
  ASSERT_EQ(db->ChooseTable("child"), S_OK);
  ASSERT_EQ(db->AddRecord(&out, -1), engineCode(14));  // stored, its link failed
  uint8_t saved = 0;
  const std::string file = dir.file("db.xml");
  EXPECT_EQ(db->Save(file.c_str(), &saved), engineCode(14));
  EXPECT_TRUE(listDirectory(dir.path()).empty());

  // With the first field's value writable, the second field's missing table decides.
  ASSERT_EQ(db->ChooseTable("parent"), S_OK);
  ASSERT_EQ(db->AddRecord(&out, -1), S_OK);
  EXPECT_EQ(db->Save(file.c_str(), &saved), engineCode(1));
}
