#include <string>

#include <gtest/gtest.h>

#include "engine/NameIndex.h"
#include "tests/support/WinCode.h"

using namespace velmora;

TEST(NameIndexTest, LooksUpBothWaysExactly) {
  NameIndex names;
  EXPECT_WIN_CODE(names.indexOf("name"), 1);
  EXPECT_WIN_CODE(names.nameOf(0), 2);
  names.add(0, "name");
  names.add(1, "surname");
  names.add(2, "age");
  names.add(3, "");
  EXPECT_EQ(names.indexOf("age"), 2);
  EXPECT_EQ(names.nameOf(1), "surname");
  EXPECT_EQ(names.indexOf(""), 3);
  EXPECT_WIN_CODE(names.indexOf("Age"), 1);
  EXPECT_WIN_CODE(names.indexOf("age "), 1);
  EXPECT_WIN_CODE(names.nameOf(-1), 2);
}

TEST(NameIndexTest, ReaddingANameOrIndexOverwritesOneDirectionOnly) {
  NameIndex names;
  names.add(0, "employee");
  names.add(1, "employee");
  EXPECT_EQ(names.indexOf("employee"), 1);
  EXPECT_EQ(names.nameOf(0), "employee");
  EXPECT_EQ(names.nameOf(1), "employee");

  NameIndex renamed;
  renamed.add(0, "name");
  renamed.add(0, "surname");
  EXPECT_EQ(renamed.nameOf(0), "surname");
  EXPECT_EQ(renamed.indexOf("name"), 0);
  EXPECT_EQ(renamed.indexOf("surname"), 0);
}

// Enough names to make the index grow several times; every name and index still answers.
TEST(NameIndexTest, ManyNamesSurviveGrowth) {
  NameIndex names;
  for (int i = 0; i < 300; ++i) names.add(i, "field" + std::to_string(i));
  for (int i = 0; i < 300; ++i) {
    EXPECT_EQ(names.indexOf("field" + std::to_string(i)), i);
    EXPECT_EQ(names.nameOf(i), "field" + std::to_string(i));
  }
  EXPECT_WIN_CODE(names.indexOf("field300"), 1);
}
