// The engine's one exception type and the table of its error codes and messages.
#pragma once

#include <string>

namespace velmora {

namespace Win {

// A failure inside the component: a numeric code and a fixed English message. Deliberately not
// derived from std::exception, so a handler for standard exceptions does not catch it.
class Exception {
 public:
  Exception(int errorCode, const char* text) : code(errorCode), message(text) {}
  // Built from a message alone: code 0 (used by the mapped input file).
  explicit Exception(const char* text) : code(0), message(text) {}

  int getCode() const { return code; }
  const std::string& getMessage() const { return message; }

 private:
  int code;
  std::string message;
};

}  // namespace Win

struct ErrorRow {
  int code;
  const char* message;
};

// Every code the component raises, with its message (messages are exact, capitals included).
inline constexpr ErrorRow kNameNotFound = {1, "The name does not correspond to any index"};
inline constexpr ErrorRow kIndexHasNoName = {2, "The index does not correspond to any name"};
inline constexpr ErrorRow kNoTemporaryTable = {3, "temporary table not created"};
inline constexpr ErrorRow kNoCurrentTable = {
    4, "the table has not been chosen to create a new record"};
inline constexpr ErrorRow kTooFewFields = {5, "the record does not contain so many fields."};
inline constexpr ErrorRow kNotRelationField = {6, "this is not a relation field"};
inline constexpr ErrorRow kReferenceNotFound = {7, "The reference has not been found"};
inline constexpr ErrorRow kNotLongField = {8, "this is not a long field"};
inline constexpr ErrorRow kNotIntField = {9, "this is not an int field"};
inline constexpr ErrorRow kNotStringField = {10, "this is not a string field"};
inline constexpr ErrorRow kNoTemporaryRecord = {11, "temporary record not created"};
inline constexpr ErrorRow kChildTableNotFound = {12, "child table not found"};
inline constexpr ErrorRow kChildIndexOutOfRange = {
    13, "index out of range when retrieving the list of children"};
inline constexpr ErrorRow kIndexOutOfRange = {14, "index out of range"};
inline constexpr ErrorRow kNoSchema = {15, "the file carries no schema"};
inline constexpr ErrorRow kNameNotWritable = {16, "the name cannot be written to a file"};
inline constexpr ErrorRow kCannotOpenForReading = {101, "error opening file for reading"};
inline constexpr ErrorRow kCannotOpenForWriting = {102, "error opening file for writing"};
inline constexpr ErrorRow kNotParsedToEnd = {
    103, "the file has not been correctly parsed up to the end"};
inline constexpr ErrorRow kTagNotClosed = {104, "tag not closed"};
inline constexpr ErrorRow kTokenNotRecognised = {106, "token not recognised"};
inline constexpr ErrorRow kDelimiterNotFound = {200, "delimiter not found"};
inline constexpr ErrorRow kDelimiterTextNotFound = {201, "delimiter not found"};
// The mapped input file's failures carry code 0.
inline constexpr ErrorRow kUnableToOpenFile = {0, "unable to open file"};
inline constexpr ErrorRow kUnableToGetFileSize = {0, "unable to get the file size"};
inline constexpr ErrorRow kUnableToMapFile = {0, "unable to map the file"};
inline constexpr ErrorRow kUnableToMapView = {0, "unable to map the view of the file"};

inline constexpr ErrorRow kAllErrors[] = {
    kNameNotFound,         kIndexHasNoName,        kNoTemporaryTable,
    kNoCurrentTable,       kTooFewFields,          kNotRelationField,
    kReferenceNotFound,    kNotLongField,          kNotIntField,
    kNotStringField,       kNoTemporaryRecord,     kChildTableNotFound,
    kChildIndexOutOfRange, kIndexOutOfRange,       kNoSchema,
    kNameNotWritable,      kCannotOpenForReading,  kCannotOpenForWriting,
    kNotParsedToEnd,       kTagNotClosed,          kTokenNotRecognised,
    kDelimiterNotFound,    kDelimiterTextNotFound, kUnableToOpenFile,
    kUnableToGetFileSize,  kUnableToMapFile,       kUnableToMapView};

// Throws Win::Exception for the row; a code 0 row uses the message-only form.
[[noreturn]] void throwError(const ErrorRow& row);

}  // namespace velmora
