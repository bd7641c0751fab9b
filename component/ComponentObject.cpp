#include "component/ComponentObject.h"

#include <new>

#include "velmora/Codes.h"
#include "velmora/Identifiers.h"
#include "velmora/Version.h"

#include "component/ServerModule.h"
#include "engine/Errors.h"

namespace velmora {

namespace {

// Thrown for a null caller pointer; not a Win::Exception, so it becomes E_UNEXPECTED.
struct NullArgument {};

bool isNull(const void* pointer) { return pointer == nullptr; }

template <typename... Pointers>
void requireNonNull(const Pointers*... pointers) {
  if ((isNull(pointers) || ...)) throw NullArgument();
}

uint8_t toByte(bool value) { return value ? 1 : 0; }

// The engine's stored text; a static empty text, never null, for an empty one.
const char* toText(const std::string& text) { return text.empty() ? "" : text.c_str(); }

// `"text"`, for quoting a name in an error text.
std::string quoted(const char* text) { return std::string("\"") + text + "\""; }

}  // namespace

template <typename Body>
HRESULT ComponentObject::guardCall(const CallNames& names, Body&& body) noexcept {
  const char* fixedText = "unexpected failure";
  try {
    body();
    workspace.dropFailureDetail();
    lastError.clear();
    return S_OK;
  } catch (const Win::Exception& e) {
    // A file's failure is told by the layer that met it (place in the file, system's reason).
    std::string detail = workspace.takeFailureDetail();
    try {
      lastError =
          detail.empty() ? describeFailure(e.getCode(), e.getMessage(), names) : std::move(detail);
    } catch (...) {  // no memory left for the text
      lastError.clear();
    }
    return engineResult(e.getCode());
  } catch (const NullArgument&) {
    fixedText = "a text or out-parameter pointer is null";
  } catch (const std::bad_alloc&) {
    fixedText = "out of memory";
  } catch (...) {  // anything unforeseen
  }
  workspace.dropFailureDetail();
  try {
    lastError = fixedText;
  } catch (...) {
    lastError.clear();
  }
  return E_UNEXPECTED;
}

// An unknown name is quoted on its own; every other failure is the engine's message followed by
// the names the call was about.
std::string ComponentObject::describeFailure(int code, const std::string& message,
                                             const CallNames& names) const {
  // A field named without its table belongs to the current table.
  const Table* current = workspace.getCurrentTable();
  const char* fieldOwner = names.table;
  std::string currentName;
  if (fieldOwner == nullptr && names.field != nullptr && current != nullptr) {
    currentName = workspace.getTableName(current->getIndex());
    fieldOwner = currentName.c_str();
  }
  if (code == kNameNotFound.code) {
    if (names.table != nullptr && !isTableName(names.table)) {
      return "unknown table " + quoted(names.table);
    }
    if (names.childTable != nullptr && !isTableName(names.childTable)) {
      return "unknown table " + quoted(names.childTable);
    }
    if (names.field != nullptr && fieldOwner != nullptr) {
      return "unknown field " + quoted(names.field) + " in table " + quoted(fieldOwner);
    }
  }
  std::string context;
  const auto add = [&context](const char* what, const char* name) {
    if (name == nullptr) return;
    context += context.empty() ? " (" : ", ";
    context += std::string(what) + " " + quoted(name);
  };
  add("table", fieldOwner);
  add("field", names.field);
  add("child table", names.childTable);
  add("file", names.file);
  if (!context.empty()) context += ")";
  return message + context;
}

bool ComponentObject::isTableName(const char* name) const {
  try {
    workspace.getTableIndex(name);
    return true;
  } catch (const Win::Exception&) {
    return false;
  }
}

HRESULT ComponentObject::QueryInterface(const GUID& iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (iid != IID_IUnknown && iid != IID_IVelmoraDatabase && iid != IID_IVelmoraDatabase2) {
    return E_NOINTERFACE;
  }
  *out = static_cast<IVelmoraDatabase2*>(this);  // one address for all three
  AddRef();
  return S_OK;
}

uint32_t ComponentObject::AddRef() {
  moduleAddRef();
  return references.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32_t ComponentObject::Release() {
  const uint32_t remaining = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
  moduleRelease();
  if (remaining == 0) delete this;
  return remaining;
}

HRESULT ComponentObject::CreateDatabase(const char* name, int32_t flag) {
  return guardCall([&] {
    requireNonNull(name);
    workspace.createDatabase(name, flag);
  });
}

HRESULT ComponentObject::CreateTemporaryTable() {
  return guardCall([&] { workspace.createTemporaryTable(); });
}

HRESULT ComponentObject::AddField(const char* name, int32_t type, int32_t* field) {
  return guardCall([&] {
    requireNonNull(name, field);
    *field = workspace.addField(name, type);
  });
}

HRESULT ComponentObject::AddRelationField(const char* name, const char* target, int32_t* field) {
  return guardCall([&] {
    requireNonNull(name, target, field);
    *field = workspace.addRelationField(name, target);
  });
}

HRESULT ComponentObject::CreateTable(const char* name, int32_t* table) {
  return guardCall([&] {
    requireNonNull(name, table);
    *table = workspace.createTable(name);
  });
}

HRESULT ComponentObject::ChooseTableAt(int32_t table) {
  return guardCall([&] { workspace.chooseTableAt(table); });
}

HRESULT ComponentObject::ChooseTable(const char* table) {
  return guardCall({table}, [&] {
    requireNonNull(table);
    workspace.chooseTable(table);
  });
}

HRESULT ComponentObject::SetStringAt(int32_t field, const char* value) {
  return guardCall([&] {
    requireNonNull(value);
    workspace.setStringAt(field, value);
  });
}

HRESULT ComponentObject::SetIntAt(int32_t field, int32_t value) {
  return guardCall([&] { workspace.setIntAt(field, value); });
}

HRESULT ComponentObject::SetLongAt(int32_t field, int32_t value) {
  return guardCall([&] { workspace.setLongAt(field, value); });
}

HRESULT ComponentObject::SetString(const char* field, const char* value) {
  return guardCall({nullptr, field}, [&] {
    requireNonNull(field, value);
    workspace.setString(field, value);
  });
}

HRESULT ComponentObject::SetLong(const char* field, int32_t value) {
  return guardCall({nullptr, field}, [&] {
    requireNonNull(field);
    workspace.setLong(field, value);
  });
}

HRESULT ComponentObject::SetInt(const char* field, int32_t value) {
  return guardCall({nullptr, field}, [&] {
    requireNonNull(field);
    workspace.setInt(field, value);
  });
}

HRESULT ComponentObject::SetRelationAt(int32_t field, int32_t value) {
  return guardCall([&] { workspace.setRelationAt(field, value); });
}

HRESULT ComponentObject::SetRelation(const char* field, int32_t value) {
  return guardCall({nullptr, field}, [&] {
    requireNonNull(field);
    workspace.setRelation(field, value);
  });
}

HRESULT ComponentObject::AddRecord(int32_t* record, int32_t position) {
  return guardCall([&] {
    requireNonNull(record);
    *record = workspace.addRecord(position);
  });
}

HRESULT ComponentObject::RecordExistsAt(int32_t table, int32_t record, uint8_t* exists) {
  return guardCall([&] {
    requireNonNull(exists);
    *exists = toByte(workspace.recordExistsAt(table, record));
  });
}

HRESULT ComponentObject::RecordExists(const char* table, int32_t record, uint8_t* exists) {
  return guardCall({table}, [&] {
    requireNonNull(table, exists);
    *exists = toByte(workspace.recordExists(table, record));
  });
}

HRESULT ComponentObject::GetRecordCountAt(int32_t table, int32_t* count) {
  return guardCall([&] {
    requireNonNull(count);
    *count = workspace.getRecordCountAt(table);
  });
}

HRESULT ComponentObject::GetRecordCount(const char* table, int32_t* count) {
  return guardCall({table}, [&] {
    requireNonNull(table, count);
    *count = workspace.getRecordCount(table);
  });
}

HRESULT ComponentObject::DeleteRecordAt(int32_t table, int32_t record) {
  return guardCall([&] { workspace.deleteRecordAt(table, record); });
}

HRESULT ComponentObject::DeleteRecord(const char* table, int32_t record) {
  return guardCall({table}, [&] {
    requireNonNull(table);
    workspace.deleteRecord(table, record);
  });
}

HRESULT ComponentObject::GetFieldTypeAt(int32_t table, const char* field, int32_t* type) {
  return guardCall([&] {
    requireNonNull(field, type);
    *type = workspace.getFieldTypeAt(table, field);
  });
}

HRESULT ComponentObject::GetFieldType(const char* table, const char* field, int32_t* type) {
  return guardCall({table, field}, [&] {
    requireNonNull(table, field, type);
    *type = workspace.getFieldType(table, field);
  });
}

HRESULT ComponentObject::GetRelationTargetAt(int32_t table, int32_t field, const char** target) {
  return guardCall([&] {
    requireNonNull(target);
    *target = toText(workspace.getRelationTargetAt(table, field));
  });
}

HRESULT ComponentObject::GetRelationTarget(const char* table, int32_t field, const char** target) {
  return guardCall({table}, [&] {
    requireNonNull(table, target);
    *target = toText(workspace.getRelationTarget(table, field));
  });
}

HRESULT ComponentObject::GetFieldIndexAt(int32_t table, const char* field, int32_t* index) {
  return guardCall([&] {
    requireNonNull(field, index);
    *index = workspace.getFieldIndexAt(table, field);
  });
}

HRESULT ComponentObject::GetFieldIndex(const char* table, const char* field, int32_t* index) {
  return guardCall({table, field}, [&] {
    requireNonNull(table, field, index);
    *index = workspace.getFieldIndex(table, field);
  });
}

HRESULT ComponentObject::GetFieldNameAt(int32_t table, int32_t field, const char** name) {
  return guardCall([&] {
    requireNonNull(name);
    *name = toText(workspace.getFieldNameAt(table, field));
  });
}

HRESULT ComponentObject::GetFieldName(const char* table, int32_t field, const char** name) {
  return guardCall({table}, [&] {
    requireNonNull(table, name);
    *name = toText(workspace.getFieldName(table, field));
  });
}

HRESULT ComponentObject::GetFieldCountAt(int32_t table, int32_t* count) {
  return guardCall([&] {
    requireNonNull(count);
    *count = workspace.getFieldCountAt(table);
  });
}

HRESULT ComponentObject::GetFieldCount(const char* table, int32_t* count) {
  return guardCall({table}, [&] {
    requireNonNull(table, count);
    *count = workspace.getFieldCount(table);
  });
}

HRESULT ComponentObject::GetIntAt(int32_t table, int32_t record, int32_t field, int32_t* value) {
  return guardCall([&] {
    requireNonNull(value);
    *value = workspace.getIntAt(table, record, field);
  });
}

HRESULT ComponentObject::GetInt(const char* table, int32_t record, const char* field,
                                int32_t* value) {
  return guardCall({table, field}, [&] {
    requireNonNull(table, field, value);
    *value = workspace.getInt(table, record, field);
  });
}

HRESULT ComponentObject::GetLongAt(int32_t table, int32_t record, int32_t field, int32_t* value) {
  return guardCall([&] {
    requireNonNull(value);
    *value = workspace.getLongAt(table, record, field);
  });
}

HRESULT ComponentObject::GetLong(const char* table, int32_t record, const char* field,
                                 int32_t* value) {
  return guardCall({table, field}, [&] {
    requireNonNull(table, field, value);
    *value = workspace.getLong(table, record, field);
  });
}

HRESULT ComponentObject::GetStringAt(int32_t table, int32_t record, int32_t field,
                                     const char** value) {
  return guardCall([&] {
    requireNonNull(value);
    *value = workspace.getStringAt(table, record, field).data();  // NUL-terminated
  });
}

HRESULT ComponentObject::GetString(const char* table, int32_t record, const char* field,
                                   const char** value) {
  return guardCall({table, field}, [&] {
    requireNonNull(table, field, value);
    *value = workspace.getString(table, record, field).data();  // NUL-terminated
  });
}

HRESULT ComponentObject::GetRelationAt(int32_t table, int32_t record, int32_t field,
                                       int32_t* value) {
  return guardCall([&] {
    requireNonNull(value);
    *value = workspace.getRelationAt(table, record, field);
  });
}

HRESULT ComponentObject::GetRelation(const char* table, int32_t record, const char* field,
                                     int32_t* value) {
  return guardCall({table, field}, [&] {
    requireNonNull(table, field, value);
    *value = workspace.getRelation(table, record, field);
  });
}

HRESULT ComponentObject::GetChildCountAt(int32_t table, int32_t record, int32_t childTable,
                                         int32_t* count) {
  return guardCall([&] {
    requireNonNull(count);
    *count = workspace.getChildCountAt(table, record, childTable);
  });
}

HRESULT ComponentObject::GetChildCount(const char* table, int32_t record, const char* childTable,
                                       int32_t* count) {
  return guardCall({table, nullptr, childTable}, [&] {
    requireNonNull(table, childTable, count);
    *count = workspace.getChildCount(table, record, childTable);
  });
}

HRESULT ComponentObject::GetChildAt(int32_t table, int32_t record, int32_t childTable,
                                    int32_t position, int32_t* child) {
  return guardCall([&] {
    requireNonNull(child);
    *child = workspace.getChildAt(table, record, childTable, position);
  });
}

HRESULT ComponentObject::GetChild(const char* table, int32_t record, const char* childTable,
                                  int32_t position, int32_t* child) {
  return guardCall({table, nullptr, childTable}, [&] {
    requireNonNull(table, childTable, child);
    *child = workspace.getChild(table, record, childTable, position);
  });
}

HRESULT ComponentObject::Load(const char* fileName, uint8_t* loaded) {
  return guardCall({nullptr, nullptr, nullptr, fileName}, [&] {
    requireNonNull(fileName, loaded);
    *loaded = toByte(workspace.load(fileName));
  });
}

HRESULT ComponentObject::Save(const char* fileName, uint8_t* saved) {
  return guardCall({nullptr, nullptr, nullptr, fileName}, [&] {
    requireNonNull(fileName, saved);
    *saved = toByte(workspace.save(fileName));
  });
}

HRESULT ComponentObject::ClearAllRecords() {
  return guardCall([&] { workspace.clearAllRecords(); });
}

HRESULT ComponentObject::TableExists(int32_t table, uint8_t* exists) {
  return guardCall([&] {
    requireNonNull(exists);
    *exists = toByte(workspace.tableExists(table));
  });
}

HRESULT ComponentObject::GetTableIndex(const char* table, int32_t* index) {
  return guardCall({table}, [&] {
    requireNonNull(table, index);
    *index = workspace.getTableIndex(table);
  });
}

HRESULT ComponentObject::GetTableName(int32_t table, const char** name) {
  return guardCall([&] {
    requireNonNull(name);
    *name = toText(workspace.getTableName(table));
  });
}

HRESULT ComponentObject::DeleteTable(int32_t table) {
  return guardCall([&] { workspace.deleteTable(table); });
}

HRESULT ComponentObject::GetTableCount(int32_t* count) {
  return guardCall([&] {
    requireNonNull(count);
    *count = workspace.getTableCount();
  });
}

HRESULT ComponentObject::SaveWithSchema(const char* fileName, uint8_t* saved) {
  return guardCall({nullptr, nullptr, nullptr, fileName}, [&] {
    requireNonNull(fileName, saved);
    *saved = toByte(workspace.saveWithSchema(fileName));
  });
}

HRESULT ComponentObject::Open(const char* fileName, uint8_t* loaded) {
  return guardCall({nullptr, nullptr, nullptr, fileName}, [&] {
    requireNonNull(fileName, loaded);
    *loaded = toByte(workspace.open(fileName));
  });
}

// Neither this nor GetVersion changes the text it hands out.
HRESULT ComponentObject::GetLastErrorText(const char** text) {
  if (text == nullptr) return E_UNEXPECTED;
  *text = lastError.c_str();
  return S_OK;
}

HRESULT ComponentObject::FindString(const char* table, const char* field, const char* value,
                                    int32_t from, int32_t* record) {
  return guardCall({table, field}, [&] {
    requireNonNull(table, field, value, record);
    *record = workspace.findString(table, field, value, from);
  });
}

HRESULT ComponentObject::FindInt(const char* table, const char* field, int32_t value, int32_t from,
                                 int32_t* record) {
  return guardCall({table, field}, [&] {
    requireNonNull(table, field, record);
    *record = workspace.findInt(table, field, value, from);
  });
}

HRESULT ComponentObject::GetDatabaseName(const char** name) {
  return guardCall([&] {
    requireNonNull(name);
    *name = toText(workspace.getDatabaseName());
  });
}

HRESULT ComponentObject::GetVersion(const char** version) {
  if (version == nullptr) return E_UNEXPECTED;
  *version = VELMORA_VERSION;
  return S_OK;
}

}  // namespace velmora
