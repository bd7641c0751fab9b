// The numbers a caller of the Velmora component meets: result codes, the engine's error numbers
// and how a result code carries one, and the field type codes.
#pragma once

#include <stdint.h>

namespace velmora {

using HRESULT = int32_t;

// Result codes of the component object model this system can meet, with the platform's names
// and values.
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
inline constexpr HRESULT E_HANDLE = static_cast<HRESULT>(0x80070006u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
// The registry file exists but cannot be read or parsed.
inline constexpr HRESULT REGDB_E_READREGDB = static_cast<HRESULT>(0x80040150u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
inline constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x800401F8u);
inline constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);
inline constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201u);

// A system error number (file not found, module not found, ...) wrapped as a result code.
constexpr HRESULT systemErrorResult(uint16_t systemError) {
  return static_cast<HRESULT>(0x80070000u | systemError);
}
inline constexpr HRESULT kFileNotFoundResult = systemErrorResult(2);
inline constexpr HRESULT kModuleNotFoundResult = systemErrorResult(0x7E);
inline constexpr HRESULT kProcedureNotFoundResult = systemErrorResult(0x7F);

// The engine's error numbers; a failed call of the component interface returns
// engineResult(number). Texts: see the component's documentation.
struct ErrorNumber {
  enum : int32_t {
    NameNotFound = 1,            // no table or field of that name
    IndexHasNoName = 2,          // no name for that table or field index
    NoTemporaryTable = 3,        // CreateTemporaryTable has not been called
    NoCurrentTable = 4,          // no table chosen for a new record
    TooFewFields = 5,            // the record has fewer fields
    NotRelationField = 6,        // the field is not a Relation field
    ReferenceNotFound = 7,       // the relation target is not recorded
    NotLongField = 8,            // the field is not a Long field
    NotIntField = 9,             // the field is not an Int field
    NotStringField = 10,         // the field is not a String field
    NoTemporaryRecord = 11,      // no record under construction
    ChildTableNotFound = 12,     // the table is no child table of the record's table
    ChildIndexOutOfRange = 13,   // position beyond the record's children
    IndexOutOfRange = 14,        // table, field, record or position outside the slots
    NoSchema = 15,               // the file carries no table definitions
    NameNotWritable = 16,        // a name cannot be written to a file
    CannotOpenForReading = 101,  // a load could not open, read or parse the file
    CannotOpenForWriting = 102,  // a save could not create or write the file
    NotParsedToEnd = 103,        // text after the document
    TagNotClosed = 104,          // an element without its end tag
    TokenNotRecognised = 106,    // text that is no markup the reader knows
    DelimiterNotFound = 200,     // a markup delimiter is missing
    DelimiterTextNotFound = 201  // the text up to a delimiter is missing
  };
};

// The one encoding of an engine error number in a result code: 0x80040000 | (number + 0x200).
constexpr HRESULT engineResult(int32_t errorNumber) {
  return static_cast<HRESULT>(0x80040000u | static_cast<uint32_t>(errorNumber + 0x200));
}
// Whether code is engineResult(n) for a positive n.
constexpr bool isEngineResult(HRESULT code) {
  const uint32_t bits = static_cast<uint32_t>(code);
  return code < 0 && ((bits >> 16) & 0x1FFF) == 4 && (bits & 0xFFFF) > 0x200;
}
// The engine error number a result code carries; 0 for any other code.
constexpr int32_t engineErrorNumber(HRESULT code) {
  return isEngineResult(code) ? static_cast<int32_t>(static_cast<uint32_t>(code) & 0xFFFF) - 0x200
                              : 0;
}

// Field types, as AddField takes them and GetFieldType answers them.
inline constexpr int32_t kIntField = 0;
inline constexpr int32_t kStringField = 1;
inline constexpr int32_t kLongField = 2;
inline constexpr int32_t kRelationField = 3;  // made by AddRelationField

}  // namespace velmora
