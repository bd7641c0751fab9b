// Operation: one call of the component interface (or a file helper step) as plain data, with
// its byte encoding for the fuzzer and a readable form for failure reports.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace velmora {

// The 52 interface methods in slot order, then the helper steps that change files between
// calls. The order is part of the byte encoding: append, never reorder.
enum class Method : uint8_t {
  CreateDatabase,
  CreateTemporaryTable,
  AddField,
  AddRelationField,
  CreateTable,
  ChooseTableAt,
  ChooseTable,
  SetStringAt,
  SetIntAt,
  SetLongAt,
  SetString,
  SetLong,
  SetInt,
  SetRelationAt,
  SetRelation,
  AddRecord,
  RecordExistsAt,
  RecordExists,
  GetRecordCountAt,
  GetRecordCount,
  DeleteRecordAt,
  DeleteRecord,
  GetFieldTypeAt,
  GetFieldType,
  GetRelationTargetAt,
  GetRelationTarget,
  GetFieldIndexAt,
  GetFieldIndex,
  GetFieldNameAt,
  GetFieldName,
  GetFieldCountAt,
  GetFieldCount,
  GetIntAt,
  GetInt,
  GetLongAt,
  GetLong,
  GetStringAt,
  GetString,
  GetRelationAt,
  GetRelation,
  GetChildCountAt,
  GetChildCount,
  GetChildAt,
  GetChild,
  Load,
  Save,
  ClearAllRecords,
  TableExists,
  GetTableIndex,
  GetTableName,
  DeleteTable,
  GetTableCount,
  // Helper steps (no interface call): copy file `a` cut to `b` bytes, or with the byte at
  // offset `b` replaced by `c`, into the scratch file.
  TruncateFile,
  PatchFile,
  // The second interface's methods.
  SaveWithSchema,
  FindString,
  FindInt,
  GetDatabaseName,
  Open,
};

inline constexpr int kInterfaceMethodCount = 52;
inline constexpr int kMethodCount = 59;

// The two helper steps, which call nothing.
inline bool isHelperStep(Method method) {
  return method == Method::TruncateFile || method == Method::PatchFile;
}

// What a method's out-parameter is.
enum class OutKind : uint8_t { None, Int, Bool, Text };

// The shape of a method: its parameters in call order, one letter each: 't' a text (s1, then
// s2), 'i' an int (a, then b, c, d), 'f' a file (the file slot in a), 'o' the out-parameter.
struct Signature {
  const char* name;
  const char* parameters;
  OutKind out;
};
const Signature& signatureOf(Method method);

// Which caller pointer an operation passes as null.
enum class NullArgument : uint8_t { None, FirstText, Out };

// The file slots an operation can name: two ordinary files, a file in a directory that does
// not exist, a directory, and the scratch file that the helper steps write.
inline constexpr int kFileSlotCount = 5;
inline constexpr int kScratchFileSlot = 4;
const char* fileSlotName(int slot);  // relative to the run's directory
bool fileSlotIsOrdinary(int slot);   // a file that can be saved and loaded

struct Operation {
  Method method = Method::GetTableCount;
  NullArgument nullArgument = NullArgument::None;
  int32_t a = 0;
  int32_t b = 0;
  int32_t c = 0;
  int32_t d = 0;
  std::string s1;
  std::string s2;
};

// The operation as a line of C-like code, e.g. `AddField("age", 0, &out)`.
std::string describe(const Operation& operation);
std::string describe(const std::vector<Operation>& operations);

// Byte encoding: decode never fails (missing bytes read as zero, every method byte maps to a
// method), and decode(encode(x)) == x for every operation the generator makes.
std::vector<Operation> decodeOperations(const uint8_t* data, size_t size);
std::string encodeOperations(const std::vector<Operation>& operations);

// Texts that the generator and the decoder draw from: first kNameCount table and field names (a
// few that collide, some that are no readable tag names, the empty name), then values with the
// bytes that matter to the file format.
const std::vector<std::string>& textPool();
inline constexpr int kNameCount = 18;
// The names that tables are mostly created with (the first few of the pool).
inline constexpr int kTableNameCount = 4;
// The text FindString looks for: the pool's text that a picks.
const std::string& findValue(int32_t a);

}  // namespace velmora
