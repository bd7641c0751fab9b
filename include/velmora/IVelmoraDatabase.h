// The component interface: the three IUnknown slots, then 52 methods (slots 3 to 54).
//
// Every method returns 0 on success, 0x80040200 + the engine's error code on an engine failure
// and 0x8000FFFF on any other failure (a null text or out pointer included). Out-parameters are
// written only on success. Texts are zero-terminated 8-bit strings; an out text points at the
// engine's own stored text and stays valid until the next call that changes the database.
// Out bools are one byte, 1 or 0.
#pragma once

#include "velmora/Types.h"

namespace velmora {

class IVelmoraDatabase : public IUnknown {
 public:
  virtual HRESULT CreateDatabase(const char* name, int32_t flag) = 0;            // 3
  virtual HRESULT CreateTemporaryTable() = 0;                                    // 4
  virtual HRESULT AddField(const char* name, int32_t type, int32_t* field) = 0;  // 5
  virtual HRESULT AddRelationField(const char* name, const char* target,         // 6
                                   int32_t* field) = 0;
  virtual HRESULT CreateTable(const char* name, int32_t* table) = 0;                      // 7
  virtual HRESULT ChooseTableAt(int32_t table) = 0;                                       // 8
  virtual HRESULT ChooseTable(const char* table) = 0;                                     // 9
  virtual HRESULT SetStringAt(int32_t field, const char* value) = 0;                      // 10
  virtual HRESULT SetIntAt(int32_t field, int32_t value) = 0;                             // 11
  virtual HRESULT SetLongAt(int32_t field, int32_t value) = 0;                            // 12
  virtual HRESULT SetString(const char* field, const char* value) = 0;                    // 13
  virtual HRESULT SetLong(const char* field, int32_t value) = 0;                          // 14
  virtual HRESULT SetInt(const char* field, int32_t value) = 0;                           // 15
  virtual HRESULT SetRelationAt(int32_t field, int32_t value) = 0;                        // 16
  virtual HRESULT SetRelation(const char* field, int32_t value) = 0;                      // 17
  virtual HRESULT AddRecord(int32_t* record, int32_t position) = 0;                       // 18
  virtual HRESULT RecordExistsAt(int32_t table, int32_t record, uint8_t* exists) = 0;     // 19
  virtual HRESULT RecordExists(const char* table, int32_t record, uint8_t* exists) = 0;   // 20
  virtual HRESULT GetRecordCountAt(int32_t table, int32_t* count) = 0;                    // 21
  virtual HRESULT GetRecordCount(const char* table, int32_t* count) = 0;                  // 22
  virtual HRESULT DeleteRecordAt(int32_t table, int32_t record) = 0;                      // 23
  virtual HRESULT DeleteRecord(const char* table, int32_t record) = 0;                    // 24
  virtual HRESULT GetFieldTypeAt(int32_t table, const char* field, int32_t* type) = 0;    // 25
  virtual HRESULT GetFieldType(const char* table, const char* field, int32_t* type) = 0;  // 26
  virtual HRESULT GetRelationTargetAt(int32_t table, int32_t field,                       // 27
                                      const char** target) = 0;
  virtual HRESULT GetRelationTarget(const char* table, int32_t field,  // 28
                                    const char** target) = 0;
  virtual HRESULT GetFieldIndexAt(int32_t table, const char* field, int32_t* index) = 0;    // 29
  virtual HRESULT GetFieldIndex(const char* table, const char* field, int32_t* index) = 0;  // 30
  virtual HRESULT GetFieldNameAt(int32_t table, int32_t field, const char** name) = 0;      // 31
  virtual HRESULT GetFieldName(const char* table, int32_t field, const char** name) = 0;    // 32
  virtual HRESULT GetFieldCountAt(int32_t table, int32_t* count) = 0;                       // 33
  virtual HRESULT GetFieldCount(const char* table, int32_t* count) = 0;                     // 34
  virtual HRESULT GetIntAt(int32_t table, int32_t record, int32_t field,                    // 35
                           int32_t* value) = 0;
  virtual HRESULT GetInt(const char* table, int32_t record, const char* field,  // 36
                         int32_t* value) = 0;
  virtual HRESULT GetLongAt(int32_t table, int32_t record, int32_t field,  // 37
                            int32_t* value) = 0;
  virtual HRESULT GetLong(const char* table, int32_t record, const char* field,  // 38
                          int32_t* value) = 0;
  virtual HRESULT GetStringAt(int32_t table, int32_t record, int32_t field,  // 39
                              const char** value) = 0;
  virtual HRESULT GetString(const char* table, int32_t record, const char* field,  // 40
                            const char** value) = 0;
  virtual HRESULT GetRelationAt(int32_t table, int32_t record, int32_t field,  // 41
                                int32_t* value) = 0;
  virtual HRESULT GetRelation(const char* table, int32_t record, const char* field,  // 42
                              int32_t* value) = 0;
  virtual HRESULT GetChildCountAt(int32_t table, int32_t record, int32_t childTable,  // 43
                                  int32_t* count) = 0;
  virtual HRESULT GetChildCount(const char* table, int32_t record, const char* childTable,  // 44
                                int32_t* count) = 0;
  virtual HRESULT GetChildAt(int32_t table, int32_t record, int32_t childTable,  // 45
                             int32_t position, int32_t* child) = 0;
  virtual HRESULT GetChild(const char* table, int32_t record, const char* childTable,  // 46
                           int32_t position, int32_t* child) = 0;
  virtual HRESULT Load(const char* fileName, uint8_t* loaded) = 0;       // 47
  virtual HRESULT Save(const char* fileName, uint8_t* saved) = 0;        // 48
  virtual HRESULT ClearAllRecords() = 0;                                 // 49
  virtual HRESULT TableExists(int32_t table, uint8_t* exists) = 0;       // 50
  virtual HRESULT GetTableIndex(const char* table, int32_t* index) = 0;  // 51
  virtual HRESULT GetTableName(int32_t table, const char** name) = 0;    // 52
  virtual HRESULT DeleteTable(int32_t table) = 0;                        // 53
  virtual HRESULT GetTableCount(int32_t* count) = 0;                     // 54
};

}  // namespace velmora
