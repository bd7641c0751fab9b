#include "velmora/Client.h"

#include "velmora/Identifiers.h"

#include "platform/ComRuntime.h"
#include "platform/MessageText.h"

namespace velmora {

namespace {

// The one place where a failed result code becomes the client's exception: the object's error
// text when it has one to give (second interface), "error" otherwise.
void check(HRESULT result, IVelmoraDatabase2* explaining = nullptr) {
  if (result >= 0) return;
  const char* detail = nullptr;
  if (explaining != nullptr && explaining->GetLastErrorText(&detail) >= 0 && detail != nullptr &&
      *detail != '\0') {
    throw Exception(result, detail);
  }
  throw Exception(result, "error");
}

}  // namespace

std::string Exception::description() const {
  if (code >= 0) return std::string();
  if (isEngineResult(code)) return "an exception has been raised in the COM object";
  return messageText(code);
}

int Exception::errorNumber() const { return engineErrorNumber(code); }

ComInitializer::ComInitializer() {
  const HRESULT result = CoInitialize(nullptr);
  if (result < 0) throw Exception(result, "unable to initialize COM");
}

ComInitializer::~ComInitializer() { CoUninitialize(); }

// When asking for the interface or CreateDatabase fails, the references taken so far are
// released on the way out.
DatabaseClient::DatabaseClient(const std::string& databaseName, int flag) {
  void* created = nullptr;
  HRESULT result =
      CoCreateInstance(CLSID_VelmoraDatabase, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                       IID_IUnknown, &created);
  if (result < 0) throw Exception(result, "Couldn't create instance");
  const std::unique_ptr<IUnknown, Releaser> unknown(static_cast<IUnknown*>(created));
  void* acquired = nullptr;
  result = unknown->QueryInterface(IID_IVelmoraDatabase, &acquired);
  if (result < 0) throw Exception(result, "Couldn't acquire interface");
  pointer.reset(static_cast<IVelmoraDatabase*>(acquired));
  acquired = nullptr;
  if (unknown->QueryInterface(IID_IVelmoraDatabase2, &acquired) >= 0) {
    secondPointer.reset(static_cast<IVelmoraDatabase2*>(acquired));
  }
  check(pointer->CreateDatabase(databaseName.c_str(), flag));
}

void DatabaseClient::CreateTemporaryTable() { check(pointer->CreateTemporaryTable()); }

int DatabaseClient::AddField(const std::string& name, int type) {
  int32_t out = 0;
  check(pointer->AddField(name.c_str(), type, &out));
  return out;
}

int DatabaseClient::AddRelationField(const std::string& name, const std::string& target) {
  int32_t out = 0;
  check(pointer->AddRelationField(name.c_str(), target.c_str(), &out));
  return out;
}

int DatabaseClient::CreateTable(const std::string& name) {
  int32_t out = 0;
  check(pointer->CreateTable(name.c_str(), &out));
  return out;
}

void DatabaseClient::ChooseTableAt(int table) { check(pointer->ChooseTableAt(table)); }

void DatabaseClient::ChooseTable(const std::string& table) {
  check(pointer->ChooseTable(table.c_str()));
}

void DatabaseClient::SetStringAt(int field, const std::string& value) {
  check(pointer->SetStringAt(field, value.c_str()));
}

void DatabaseClient::SetIntAt(int field, int value) { check(pointer->SetIntAt(field, value)); }

void DatabaseClient::SetLongAt(int field, int value) { check(pointer->SetLongAt(field, value)); }

void DatabaseClient::SetString(const std::string& field, const std::string& value) {
  check(pointer->SetString(field.c_str(), value.c_str()));
}

void DatabaseClient::SetLong(const std::string& field, int value) {
  check(pointer->SetLong(field.c_str(), value));
}

void DatabaseClient::SetInt(const std::string& field, int value) {
  check(pointer->SetInt(field.c_str(), value));
}

void DatabaseClient::SetRelationAt(int field, int value) {
  check(pointer->SetRelationAt(field, value));
}

void DatabaseClient::SetRelation(const std::string& field, int value) {
  check(pointer->SetRelation(field.c_str(), value));
}

int DatabaseClient::AddRecord(int position) {
  int32_t out = 0;
  check(pointer->AddRecord(&out, position));
  return out;
}

bool DatabaseClient::RecordExistsAt(int table, int record) {
  uint8_t out = 0;
  check(pointer->RecordExistsAt(table, record, &out));
  return out != 0;
}

bool DatabaseClient::RecordExists(const std::string& table, int record) {
  uint8_t out = 0;
  check(pointer->RecordExists(table.c_str(), record, &out));
  return out != 0;
}

int DatabaseClient::GetRecordCountAt(int table) {
  int32_t out = 0;
  check(pointer->GetRecordCountAt(table, &out));
  return out;
}

int DatabaseClient::GetRecordCount(const std::string& table) {
  int32_t out = 0;
  check(pointer->GetRecordCount(table.c_str(), &out));
  return out;
}

void DatabaseClient::DeleteRecordAt(int table, int record) {
  check(pointer->DeleteRecordAt(table, record));
}

void DatabaseClient::DeleteRecord(const std::string& table, int record) {
  check(pointer->DeleteRecord(table.c_str(), record));
}

int DatabaseClient::GetFieldTypeAt(int table, const std::string& field) {
  int32_t out = 0;
  check(pointer->GetFieldTypeAt(table, field.c_str(), &out));
  return out;
}

int DatabaseClient::GetFieldType(const std::string& table, const std::string& field) {
  int32_t out = 0;
  check(pointer->GetFieldType(table.c_str(), field.c_str(), &out));
  return out;
}

std::string DatabaseClient::GetRelationTargetAt(int table, int field) {
  const char* out = nullptr;
  check(pointer->GetRelationTargetAt(table, field, &out));
  return std::string(out);
}

std::string DatabaseClient::GetRelationTarget(const std::string& table, int field) {
  const char* out = nullptr;
  check(pointer->GetRelationTarget(table.c_str(), field, &out));
  return std::string(out);
}

int DatabaseClient::GetFieldIndexAt(int table, const std::string& field) {
  int32_t out = 0;
  check(pointer->GetFieldIndexAt(table, field.c_str(), &out));
  return out;
}

int DatabaseClient::GetFieldIndex(const std::string& table, const std::string& field) {
  int32_t out = 0;
  check(pointer->GetFieldIndex(table.c_str(), field.c_str(), &out));
  return out;
}

std::string DatabaseClient::GetFieldNameAt(int table, int field) {
  const char* out = nullptr;
  check(pointer->GetFieldNameAt(table, field, &out));
  return std::string(out);
}

std::string DatabaseClient::GetFieldName(const std::string& table, int field) {
  const char* out = nullptr;
  check(pointer->GetFieldName(table.c_str(), field, &out));
  return std::string(out);
}

int DatabaseClient::GetFieldCountAt(int table) {
  int32_t out = 0;
  check(pointer->GetFieldCountAt(table, &out));
  return out;
}

int DatabaseClient::GetFieldCount(const std::string& table) {
  int32_t out = 0;
  check(pointer->GetFieldCount(table.c_str(), &out));
  return out;
}

int DatabaseClient::GetIntAt(int table, int record, int field) {
  int32_t out = 0;
  check(pointer->GetIntAt(table, record, field, &out));
  return out;
}

int DatabaseClient::GetInt(const std::string& table, int record, const std::string& field) {
  int32_t out = 0;
  check(pointer->GetInt(table.c_str(), record, field.c_str(), &out));
  return out;
}

int DatabaseClient::GetLongAt(int table, int record, int field) {
  int32_t out = 0;
  check(pointer->GetLongAt(table, record, field, &out));
  return out;
}

int DatabaseClient::GetLong(const std::string& table, int record, const std::string& field) {
  int32_t out = 0;
  check(pointer->GetLong(table.c_str(), record, field.c_str(), &out));
  return out;
}

std::string DatabaseClient::GetStringAt(int table, int record, int field) {
  const char* out = nullptr;
  check(pointer->GetStringAt(table, record, field, &out));
  return std::string(out);
}

std::string DatabaseClient::GetString(const std::string& table, int record,
                                      const std::string& field) {
  const char* out = nullptr;
  check(pointer->GetString(table.c_str(), record, field.c_str(), &out));
  return std::string(out);
}

int DatabaseClient::GetRelationAt(int table, int record, int field) {
  int32_t out = 0;
  check(pointer->GetRelationAt(table, record, field, &out));
  return out;
}

int DatabaseClient::GetRelation(const std::string& table, int record, const std::string& field) {
  int32_t out = 0;
  check(pointer->GetRelation(table.c_str(), record, field.c_str(), &out));
  return out;
}

int DatabaseClient::GetChildCountAt(int table, int record, int childTable) {
  int32_t out = 0;
  check(pointer->GetChildCountAt(table, record, childTable, &out));
  return out;
}

int DatabaseClient::GetChildCount(const std::string& table, int record,
                                  const std::string& childTable) {
  int32_t out = 0;
  check(pointer->GetChildCount(table.c_str(), record, childTable.c_str(), &out));
  return out;
}

int DatabaseClient::GetChildAt(int table, int record, int childTable, int position) {
  int32_t out = 0;
  check(pointer->GetChildAt(table, record, childTable, position, &out));
  return out;
}

int DatabaseClient::GetChild(const std::string& table, int record, const std::string& childTable,
                             int position) {
  int32_t out = 0;
  check(pointer->GetChild(table.c_str(), record, childTable.c_str(), position, &out));
  return out;
}

bool DatabaseClient::Load(const std::string& fileName) {
  uint8_t out = 0;
  check(pointer->Load(fileName.c_str(), &out));
  return out != 0;
}

bool DatabaseClient::Save(const std::string& fileName) {
  uint8_t out = 0;
  check(pointer->Save(fileName.c_str(), &out));
  return out != 0;
}

void DatabaseClient::ClearAllRecords() { check(pointer->ClearAllRecords()); }

bool DatabaseClient::TableExists(int table) {
  uint8_t out = 0;
  check(pointer->TableExists(table, &out));
  return out != 0;
}

int DatabaseClient::GetTableIndex(const std::string& table) {
  int32_t out = 0;
  check(pointer->GetTableIndex(table.c_str(), &out));
  return out;
}

std::string DatabaseClient::GetTableName(int table) {
  const char* out = nullptr;
  check(pointer->GetTableName(table, &out));
  return std::string(out);
}

void DatabaseClient::DeleteTable(int table) { check(pointer->DeleteTable(table)); }

int DatabaseClient::GetTableCount() {
  int32_t out = 0;
  check(pointer->GetTableCount(&out));
  return out;
}

IVelmoraDatabase2& DatabaseClient::second() {
  if (secondPointer == nullptr) throw Exception(E_NOINTERFACE, "Couldn't acquire interface");
  return *secondPointer;
}

bool DatabaseClient::saveWithSchema(const std::string& fileName) {
  uint8_t out = 0;
  check(second().SaveWithSchema(fileName.c_str(), &out), secondPointer.get());
  return out != 0;
}

bool DatabaseClient::open(const std::string& fileName) {
  uint8_t out = 0;
  check(second().Open(fileName.c_str(), &out), secondPointer.get());
  return out != 0;
}

int32_t DatabaseClient::findString(const std::string& table, const std::string& field,
                                   const std::string& value, int32_t from) {
  int32_t out = 0;
  check(second().FindString(table.c_str(), field.c_str(), value.c_str(), from, &out),
        secondPointer.get());
  return out;
}

int32_t DatabaseClient::findInt(const std::string& table, const std::string& field, int32_t value,
                                int32_t from) {
  int32_t out = 0;
  check(second().FindInt(table.c_str(), field.c_str(), value, from, &out), secondPointer.get());
  return out;
}

std::string DatabaseClient::databaseName() {
  const char* out = nullptr;
  check(second().GetDatabaseName(&out), secondPointer.get());
  return std::string(out);
}

std::string DatabaseClient::version() {
  const char* out = nullptr;
  check(second().GetVersion(&out), secondPointer.get());
  return std::string(out);
}

std::vector<int32_t> DatabaseClient::records(const std::string& table) {
  std::vector<int32_t> existing;
  const int count = GetRecordCount(table);
  for (int32_t record = 0; record < count; ++record) {
    if (RecordExists(table, record)) existing.push_back(record);
  }
  return existing;
}

}  // namespace velmora
