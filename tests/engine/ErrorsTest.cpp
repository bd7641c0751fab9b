#include <set>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "engine/Errors.h"

using namespace velmora;

TEST(ErrorsTest, EveryRowThrowsItsCodeAndMessage) {
  for (const ErrorRow& row : kAllErrors) {
    try {
      throwError(row);
      FAIL() << "no throw for code " << row.code;
    } catch (const Win::Exception& e) {
      EXPECT_EQ(e.getCode(), row.code);
      EXPECT_EQ(e.getMessage(), row.message);
    }
  }
}

TEST(ErrorsTest, CodesAreDistinctExceptTheMappedFileRows) {
  std::set<int> codes;
  int zeroRows = 0;
  for (const ErrorRow& row : kAllErrors) {
    if (row.code == 0) {
      ++zeroRows;
      continue;
    }
    EXPECT_TRUE(codes.insert(row.code).second) << row.code;
  }
  EXPECT_EQ(zeroRows, 4);
  EXPECT_EQ(codes.size(), 23u);
  EXPECT_STREQ(kTooFewFields.message, "the record does not contain so many fields.");
  EXPECT_STREQ(kDelimiterNotFound.message, kDelimiterTextNotFound.message);
}

TEST(ErrorsTest, ExceptionIsNotAStandardException) {
  static_assert(!std::is_base_of_v<std::exception, Win::Exception>);
  static_assert(!std::is_polymorphic_v<Win::Exception>);
  const Win::Exception original(14, "index out of range");
  const Win::Exception copy = original;  // NOLINT(performance-unnecessary-copy-initialization)
  EXPECT_EQ(copy.getCode(), 14);
  EXPECT_EQ(copy.getMessage(), "index out of range");
  EXPECT_EQ(Win::Exception("unable to open file").getCode(), 0);
}
