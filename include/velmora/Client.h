// The caller-side wrapper of the Velmora component: creates an instance through the platform's
// component runtime, holds its interface and turns failed result codes into Exception.
#pragma once

#include <stdint.h>

#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "velmora/Codes.h"
#include "velmora/IVelmoraDatabase2.h"
#include "velmora/Types.h"

namespace velmora {

// A failed result code with a short text saying where it came from ("error", "Couldn't create
// instance", "Couldn't acquire interface", "unable to initialize COM"); for a failed call of the
// second interface, the object's own account of the failure (GetLastErrorText).
class Exception : public std::exception {
 public:
  Exception(HRESULT resultCode, std::string origin)
      : message(std::move(origin)), code(resultCode) {}
  const char* what() const noexcept override { return message.c_str(); }
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

  // The second interface; Exception(E_NOINTERFACE, "Couldn't acquire interface") from an object
  // without it. Texts and failures as above, with the object's error text as the exception's.
  bool saveWithSchema(const std::string& fileName);
  bool open(const std::string& fileName);
  // The first existing record at index >= from holding value; -1 when there is none.
  int32_t findString(const std::string& table, const std::string& field, const std::string& value,
                     int32_t from = 0);
  int32_t findInt(const std::string& table, const std::string& field, int32_t value,
                  int32_t from = 0);
  std::string databaseName();
  std::string version();
  // The indices of the table's existing records, in order: `for (int32_t r : db.records(t))`.
  std::vector<int32_t> records(const std::string& table);

 private:
  struct Releaser {
    void operator()(IUnknown* object) const { object->Release(); }
  };
  IVelmoraDatabase2& second();
  std::unique_ptr<IVelmoraDatabase, Releaser> pointer;
  std::unique_ptr<IVelmoraDatabase2, Releaser> secondPointer;  // null: the object lacks it
};

}  // namespace velmora
