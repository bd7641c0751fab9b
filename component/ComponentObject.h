// ComponentObject: both component interfaces over one Workspace.
#pragma once

#include <atomic>
#include <string>

#include "velmora/IVelmoraDatabase2.h"

#include "workspace/Workspace.h"

namespace velmora {

// One instance, one database: the Workspace is held by value and dies with the object on its
// last Release. Each method is one guarded body (see ComponentObject.cpp): texts are copied in,
// the Workspace operation of the same name runs, the out-parameter is written only after it
// returned, and every failure becomes a result code and a sentence for GetLastErrorText. Only the
// reference count is thread-safe; one object serves one caller at a time.
class ComponentObject final : public IVelmoraDatabase2 {
 public:
  HRESULT QueryInterface(const GUID& iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

  HRESULT CreateDatabase(const char* name, int32_t flag) override;
  HRESULT CreateTemporaryTable() override;
  HRESULT AddField(const char* name, int32_t type, int32_t* field) override;
  HRESULT AddRelationField(const char* name, const char* target, int32_t* field) override;
  HRESULT CreateTable(const char* name, int32_t* table) override;
  HRESULT ChooseTableAt(int32_t table) override;
  HRESULT ChooseTable(const char* table) override;
  HRESULT SetStringAt(int32_t field, const char* value) override;
  HRESULT SetIntAt(int32_t field, int32_t value) override;
  HRESULT SetLongAt(int32_t field, int32_t value) override;
  HRESULT SetString(const char* field, const char* value) override;
  HRESULT SetLong(const char* field, int32_t value) override;
  HRESULT SetInt(const char* field, int32_t value) override;
  HRESULT SetRelationAt(int32_t field, int32_t value) override;
  HRESULT SetRelation(const char* field, int32_t value) override;
  HRESULT AddRecord(int32_t* record, int32_t position) override;
  HRESULT RecordExistsAt(int32_t table, int32_t record, uint8_t* exists) override;
  HRESULT RecordExists(const char* table, int32_t record, uint8_t* exists) override;
  HRESULT GetRecordCountAt(int32_t table, int32_t* count) override;
  HRESULT GetRecordCount(const char* table, int32_t* count) override;
  HRESULT DeleteRecordAt(int32_t table, int32_t record) override;
  HRESULT DeleteRecord(const char* table, int32_t record) override;
  HRESULT GetFieldTypeAt(int32_t table, const char* field, int32_t* type) override;
  HRESULT GetFieldType(const char* table, const char* field, int32_t* type) override;
  HRESULT GetRelationTargetAt(int32_t table, int32_t field, const char** target) override;
  HRESULT GetRelationTarget(const char* table, int32_t field, const char** target) override;
  HRESULT GetFieldIndexAt(int32_t table, const char* field, int32_t* index) override;
  HRESULT GetFieldIndex(const char* table, const char* field, int32_t* index) override;
  HRESULT GetFieldNameAt(int32_t table, int32_t field, const char** name) override;
  HRESULT GetFieldName(const char* table, int32_t field, const char** name) override;
  HRESULT GetFieldCountAt(int32_t table, int32_t* count) override;
  HRESULT GetFieldCount(const char* table, int32_t* count) override;
  HRESULT GetIntAt(int32_t table, int32_t record, int32_t field, int32_t* value) override;
  HRESULT GetInt(const char* table, int32_t record, const char* field, int32_t* value) override;
  HRESULT GetLongAt(int32_t table, int32_t record, int32_t field, int32_t* value) override;
  HRESULT GetLong(const char* table, int32_t record, const char* field, int32_t* value) override;
  HRESULT GetStringAt(int32_t table, int32_t record, int32_t field, const char** value) override;
  HRESULT GetString(const char* table, int32_t record, const char* field,
                    const char** value) override;
  HRESULT GetRelationAt(int32_t table, int32_t record, int32_t field, int32_t* value) override;
  HRESULT GetRelation(const char* table, int32_t record, const char* field,
                      int32_t* value) override;
  HRESULT GetChildCountAt(int32_t table, int32_t record, int32_t childTable,
                          int32_t* count) override;
  HRESULT GetChildCount(const char* table, int32_t record, const char* childTable,
                        int32_t* count) override;
  HRESULT GetChildAt(int32_t table, int32_t record, int32_t childTable, int32_t position,
                     int32_t* child) override;
  HRESULT GetChild(const char* table, int32_t record, const char* childTable, int32_t position,
                   int32_t* child) override;
  HRESULT Load(const char* fileName, uint8_t* loaded) override;
  HRESULT Save(const char* fileName, uint8_t* saved) override;
  HRESULT ClearAllRecords() override;
  HRESULT TableExists(int32_t table, uint8_t* exists) override;
  HRESULT GetTableIndex(const char* table, int32_t* index) override;
  HRESULT GetTableName(int32_t table, const char** name) override;
  HRESULT DeleteTable(int32_t table) override;
  HRESULT GetTableCount(int32_t* count) override;

  HRESULT SaveWithSchema(const char* fileName, uint8_t* saved) override;
  HRESULT Open(const char* fileName, uint8_t* loaded) override;
  HRESULT GetLastErrorText(const char** text) override;
  HRESULT FindString(const char* table, const char* field, const char* value, int32_t from,
                     int32_t* record) override;
  HRESULT FindInt(const char* table, const char* field, int32_t value, int32_t from,
                  int32_t* record) override;
  HRESULT GetDatabaseName(const char** name) override;
  HRESULT GetVersion(const char** version) override;

  Workspace& getWorkspace() { return workspace; }  // for tests that hand it a file environment

 private:
  // The names a call was given, quoted in its error text; null where the call has none.
  struct CallNames {
    const char* table = nullptr;
    const char* field = nullptr;  // of table, or of the current table without one
    const char* childTable = nullptr;
    const char* file = nullptr;
  };
  // Runs body; any failure becomes a result code, and lastError says what went wrong ("" after
  // a success). The only place failures become result codes.
  template <typename Body>
  HRESULT guardCall(Body&& body) noexcept {
    return guardCall(CallNames{}, body);
  }
  template <typename Body>
  HRESULT guardCall(const CallNames& names, Body&& body) noexcept;
  std::string describeFailure(int code, const std::string& message, const CallNames& names) const;
  bool isTableName(const char* name) const;

  std::atomic<uint32_t> references{0};
  Workspace workspace;
  std::string lastError;
};

}  // namespace velmora
