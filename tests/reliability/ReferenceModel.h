// ReferenceModel: an independent model of one component instance and of the files it writes,
// built on standard containers from the documented behaviour, for comparison with the component.
#pragma once

#include <stdint.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/reliability/Operation.h"

namespace velmora {

struct ModelNode;

// What one call gave: the result code and, on success, the out-parameter (an int, a bool as 0
// or 1, or a text).
struct Outcome {
  int32_t result = 0;
  int32_t number = 0;
  std::string text;
};

// Two-way name map; adding a name again makes it refer to the newest index.
struct ModelNames {
  std::map<std::string, int> indexByName;
  std::map<int, std::string> nameByIndex;

  void add(int index, const std::string& name);
  int indexOf(const std::string& name) const;  // code 1 when unknown
  const std::string& nameOf(int index) const;  // code 2 when unknown
};

struct ModelDefinition {
  std::vector<int> types;
  ModelNames names;
  std::vector<std::pair<int, std::string>> relationTargets;  // field, target table name

  int getFieldCount() const { return static_cast<int>(types.size()); }
  int fieldType(int field) const;                      // code 14 outside the fields
  const std::string& relationTarget(int field) const;  // codes 14, 6, 7
};

// A record slot's value: the number for Int, Long and Relation, the text for String.
struct ModelCell {
  int32_t number = 0;
  std::string text;
};
using ModelRecord = std::vector<std::optional<ModelCell>>;

struct ModelTable {
  int index = 0;
  ModelDefinition definition;
  std::vector<std::optional<ModelRecord>> records;
  std::optional<ModelRecord> temporary;
  // Registered child tables and, per registration, one list of child records per record slot
  // (lists outlive clearing, so there can be more lists than slots).
  std::vector<int> childTables;
  std::vector<std::vector<std::vector<int>>> childLinks;
};

struct ModelDatabase {
  std::string name = "velmora";
  int flag = 1;
  std::vector<std::unique_ptr<ModelTable>> tables;  // null: a deleted table's slot
  ModelNames tableNames;
};

class ReferenceModel {
 public:
  // Applies one operation and returns what the component must return for it.
  Outcome apply(const Operation& operation);

  const ModelDatabase& getDatabase() const { return database; }
  int getCurrentTable() const { return currentTable; }
  const std::optional<ModelDefinition>& getTemporaryTable() const { return temporaryTable; }
  // The bytes of a file slot, or nothing when the slot holds no file.
  std::optional<std::string> fileContent(int slot) const;

  // The document that saving the database would write (with the schema in info when asked);
  // throws ModelFailure like a save does.
  std::string buildDocument(bool withSchema = false) const;
  // The outcome of loading the given file bytes into this model (records are cleared first).
  Outcome loadBytes(const std::string& bytes);

 private:
  ModelTable& tableByIndex(int table) const;
  ModelTable& tableByName(const std::string& name) const;
  ModelTable& current() const;
  void set(ModelTable& table, int field, int type, int code, const ModelCell& cell);
  void setByName(const std::string& field, int type, int code, const ModelCell& cell);
  void setAt(int field, int type, int code, const ModelCell& cell);
  int addRecord(ModelTable& table, int position);
  void linkRelations(ModelTable& table, const ModelRecord& record, int slot, bool link);
  std::vector<int>& childList(ModelTable& parent, int parentRecord, int childTable) const;
  const ModelCell& storedValue(const ModelTable& table, int record, int field, int type,
                               int code) const;
  void deleteRecord(ModelTable& table, int record);
  void cascade(ModelTable& table, int record);
  void clearAllRecords();
  int createTable(const std::string& name);
  int renumber(const std::string& tableName, int record) const;
  bool load(int slot);
  bool open(const std::string& bytes);
  void applyDocument(const ModelNode& root);

  ModelDatabase database;
  std::optional<ModelDefinition> temporaryTable;
  int currentTable = -1;
  std::set<std::pair<int, int>> beingDeleted;  // table, record
  std::map<int, std::string> files;
};

// A failure inside the model: the engine code the component must report.
struct ModelFailure {
  int code;
};

}  // namespace velmora
