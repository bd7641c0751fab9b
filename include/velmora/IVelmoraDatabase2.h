// The second component interface: the first one's 55 slots, then seven more (slots 55 to 61).
//
// Same conventions as IVelmoraDatabase: result codes, out-parameters written only on success,
// 0x8000FFFF for a null text or out pointer, out bools one byte, out texts valid until the next
// call that changes the database. The object answers for both interfaces with one reference
// count.
#pragma once

#include "velmora/IVelmoraDatabase.h"

namespace velmora {

class IVelmoraDatabase2 : public IVelmoraDatabase {
 public:
  // As Save, with the tables' definitions written into the file as well.
  virtual HRESULT SaveWithSchema(const char* fileName, uint8_t* saved) = 0;  // 55
  // Replaces the whole database (name, tables, records) by a file SaveWithSchema wrote; all or
  // nothing. Engine error 15 for a file without the definitions, 101 for an unreadable one.
  virtual HRESULT Open(const char* fileName, uint8_t* loaded) = 0;  // 56
  // What went wrong in this instance's latest call (GetLastErrorText and GetVersion aside): ""
  // after a success, a sentence after a failure. Valid until the next call.
  virtual HRESULT GetLastErrorText(const char** text) = 0;  // 57
  // The first existing record at index >= from whose String field equals value byte for byte,
  // -1 when there is none. Codes in order: 1 (unknown table or field), 10 (not a String
  // field), 14 (from < 0).
  virtual HRESULT FindString(const char* table, const char* field, const char* value,  // 58
                             int32_t from, int32_t* record) = 0;
  // The same for an Int, Long or Relation field; 9 for any other field.
  virtual HRESULT FindInt(const char* table, const char* field, int32_t value,  // 59
                          int32_t from, int32_t* record) = 0;
  virtual HRESULT GetDatabaseName(const char** name) = 0;  // 60
  // The library's version, "MAJOR.MINOR.PATCH"; static text.
  virtual HRESULT GetVersion(const char** version) = 0;  // 61
};

}  // namespace velmora
