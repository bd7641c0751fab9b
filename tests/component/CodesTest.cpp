// The public numbers agree with the engine's own: error numbers with its error table, field types
// with its type codes.
#include <iterator>
#include <utility>

#include <gtest/gtest.h>

#include "velmora/Codes.h"

#include "engine/Errors.h"
#include "engine/FieldValue.h"

using namespace velmora;

TEST(CodesTest, PublicNumbersMatchTheEngine) {
  const std::pair<int32_t, ErrorRow> errors[] = {
      {ErrorNumber::NameNotFound, kNameNotFound},
      {ErrorNumber::IndexHasNoName, kIndexHasNoName},
      {ErrorNumber::NoTemporaryTable, kNoTemporaryTable},
      {ErrorNumber::NoCurrentTable, kNoCurrentTable},
      {ErrorNumber::TooFewFields, kTooFewFields},
      {ErrorNumber::NotRelationField, kNotRelationField},
      {ErrorNumber::ReferenceNotFound, kReferenceNotFound},
      {ErrorNumber::NotLongField, kNotLongField},
      {ErrorNumber::NotIntField, kNotIntField},
      {ErrorNumber::NotStringField, kNotStringField},
      {ErrorNumber::NoTemporaryRecord, kNoTemporaryRecord},
      {ErrorNumber::ChildTableNotFound, kChildTableNotFound},
      {ErrorNumber::ChildIndexOutOfRange, kChildIndexOutOfRange},
      {ErrorNumber::IndexOutOfRange, kIndexOutOfRange},
      {ErrorNumber::NoSchema, kNoSchema},
      {ErrorNumber::NameNotWritable, kNameNotWritable},
      {ErrorNumber::CannotOpenForReading, kCannotOpenForReading},
      {ErrorNumber::CannotOpenForWriting, kCannotOpenForWriting},
      {ErrorNumber::NotParsedToEnd, kNotParsedToEnd},
      {ErrorNumber::TagNotClosed, kTagNotClosed},
      {ErrorNumber::TokenNotRecognised, kTokenNotRecognised},
      {ErrorNumber::DelimiterNotFound, kDelimiterNotFound},
      {ErrorNumber::DelimiterTextNotFound, kDelimiterTextNotFound},
  };
  size_t numbered = 0;
  for (const ErrorRow& row : kAllErrors) numbered += row.code != 0 ? 1 : 0;
  EXPECT_EQ(std::size(errors), numbered) << "an engine code without a public name";
  for (const auto& [number, row] : errors) {
    EXPECT_EQ(number, row.code) << row.message;
    EXPECT_EQ(static_cast<uint32_t>(engineResult(number)), 0x80040200u + row.code);
    EXPECT_EQ(engineErrorNumber(engineResult(number)), number);
  }
  EXPECT_EQ(kIntField, FieldType::Int);
  EXPECT_EQ(kStringField, FieldType::String);
  EXPECT_EQ(kLongField, FieldType::Long);
  EXPECT_EQ(kRelationField, FieldType::Relation);
}
