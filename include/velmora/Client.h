// The caller-side wrapper of the Velmora component: creates an instance through the platform's
// component runtime, holds its interface and turns failed result codes into Exception.
#pragma once

#include <stdint.h>

#include <memory>
#include <string>
#include <utility>

#include "velmora/Codes.h"
#include "velmora/IVelmoraDatabase.h"
#include "velmora/Types.h"

namespace velmora {

// A failed result code with a short text saying where it came from ("error", "Couldn't create
// instance", "Couldn't acquire interface", "unable to initialize COM").
class Exception {
 public:
  Exception(HRESULT resultCode, std::string origin)
      : message(std::move(origin)), code(resultCode) {}
  const std::string& text() const { return message; }
  HRESULT getCode() const { return code; }
  // Empty for a non-negative code; "an exception has been raised in the COM object" for an
  // engine failure; otherwise the platform's message text for the code (possibly empty).
  std::string description() const;
  // The engine's error code for an engine failure (0x80040265 gives 101); 0 otherwise.
  int errorNumber() const;

 private:
  std::string message;
  HRESULT code;
};

// Brackets all use of the component runtime on this thread; must outlive every client.
class ComInitializer {
 public:
  ComInitializer();  // throws Exception(result, "unable to initialize COM")
  ~ComInitializer();
  ComInitializer(const ComInitializer&) = delete;
  ComInitializer& operator=(const ComInitializer&) = delete;
};

// One component object, so one database; holds one reference to its interface. Every method
// calls the interface operation of the same name and throws Exception(result, "error") when it
// fails; texts are copied at once. Field types are the k...Field constants of velmora/Codes.h.
// Not thread-safe.
class DatabaseClient {
 public:
  // Creates the object (Exception(result, "Couldn't create instance")), asks it for the
  // interface (Exception(result, "Couldn't acquire interface")) and calls CreateDatabase.
  DatabaseClient(const std::string& databaseName, int flag);
  DatabaseClient(DatabaseClient&&) = default;
  DatabaseClient& operator=(DatabaseClient&&) = default;

  void CreateTemporaryTable();
  int AddField(const std::string& name, int type);
  int AddRelationField(const std::string& name, const std::string& target);
  int CreateTable(const std::string& name);
  void ChooseTableAt(int table);
  void ChooseTable(const std::string& table);
  void SetStringAt(int field, const std::string& value);
  void SetIntAt(int field, int value);
  void SetLongAt(int field, int value);
  void SetString(const std::string& field, const std::string& value);
  void SetLong(const std::string& field, int value);
  void SetInt(const std::string& field, int value);
  void SetRelationAt(int field, int value);
  void SetRelation(const std::string& field, int value);
  int AddRecord(int position);
  bool RecordExistsAt(int table, int record);
  bool RecordExists(const std::string& table, int record);
  int GetRecordCountAt(int table);
  int GetRecordCount(const std::string& table);
  void DeleteRecordAt(int table, int record);
  void DeleteRecord(const std::string& table, int record);
  int GetFieldTypeAt(int table, const std::string& field);
  int GetFieldType(const std::string& table, const std::string& field);
  std::string GetRelationTargetAt(int table, int field);
  std::string GetRelationTarget(const std::string& table, int field);
  int GetFieldIndexAt(int table, const std::string& field);
  int GetFieldIndex(const std::string& table, const std::string& field);
  std::string GetFieldNameAt(int table, int field);
  std::string GetFieldName(const std::string& table, int field);
  int GetFieldCountAt(int table);
  int GetFieldCount(const std::string& table);
  int GetIntAt(int table, int record, int field);
  int GetInt(const std::string& table, int record, const std::string& field);
  int GetLongAt(int table, int record, int field);
  int GetLong(const std::string& table, int record, const std::string& field);
  std::string GetStringAt(int table, int record, int field);
  std::string GetString(const std::string& table, int record, const std::string& field);
  int GetRelationAt(int table, int record, int field);
  int GetRelation(const std::string& table, int record, const std::string& field);
  int GetChildCountAt(int table, int record, int childTable);
  int GetChildCount(const std::string& table, int record, const std::string& childTable);
  int GetChildAt(int table, int record, int childTable, int position);
  int GetChild(const std::string& table, int record, const std::string& childTable, int position);
  bool Load(const std::string& fileName);
  bool Save(const std::string& fileName);
  void ClearAllRecords();
  bool TableExists(int table);
  int GetTableIndex(const std::string& table);
  std::string GetTableName(int table);
  void DeleteTable(int table);
  int GetTableCount();

 private:
  struct Releaser {
    void operator()(IUnknown* object) const { object->Release(); }
  };
  std::unique_ptr<IVelmoraDatabase, Releaser> pointer;
};

}  // namespace velmora
