#include "tests/reliability/OperationRunner.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <utility>

#include "velmora/Identifiers.h"

namespace velmora {

namespace {

constexpr int32_t kIntSentinel = 0x5A5A5A5A;
constexpr uint8_t kBoolSentinel = 0xA5;
const char kTextSentinel[] = "sentinel";
constexpr int kShrinkBudget = 4000;  // sequence runs one shrink may spend

std::string hex(int32_t value) {
  char text[16];
  snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

std::optional<std::string> readFile(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  std::string bytes(static_cast<size_t>(status.st_size), '\0');
  bytes.resize(fread(bytes.data(), 1, bytes.size(), file));
  fclose(file);
  return bytes;
}

void writeFile(const std::string& path, const std::string& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  fwrite(bytes.data(), 1, bytes.size(), file);
  fclose(file);
}

Operation readOnly(Method method, int32_t a = 0, int32_t b = 0, int32_t c = 0, int32_t d = 0,
                   std::string s1 = std::string()) {
  Operation op;
  op.method = method;
  op.a = a;
  op.b = b;
  op.c = c;
  op.d = d;
  op.s1 = std::move(s1);
  return op;
}

}  // namespace

OperationRunner::OperationRunner(const InstanceFactory& factory, std::string workDirectory)
    : instance(factory()), directory(std::move(workDirectory)) {
  std::filesystem::create_directories(path(3));  // the slot that names a directory
}

OperationRunner::~OperationRunner() {
  if (instance != nullptr) instance->Release();
}

std::string OperationRunner::path(int slot) const { return directory + "/" + fileSlotName(slot); }

IVelmoraDatabase2& OperationRunner::second() const {
  void* out = nullptr;
  if (instance->QueryInterface(IID_IVelmoraDatabase2, &out) != S_OK) abort();
  instance->Release();  // the runner's own reference keeps the object
  return *static_cast<IVelmoraDatabase2*>(out);
}

Outcome OperationRunner::call(const Operation& op, std::string& problem) {
  ++calls;
  int32_t outInt = kIntSentinel;
  uint8_t outBool = kBoolSentinel;
  const char* outText = kTextSentinel;
  const bool nullText = op.nullArgument == NullArgument::FirstText;
  const bool nullOut = op.nullArgument == NullArgument::Out;
  const char* t1 = nullText ? nullptr : op.s1.c_str();
  const char* t2 = op.s2.c_str();
  int32_t* oi = nullOut ? nullptr : &outInt;
  uint8_t* ob = nullOut ? nullptr : &outBool;
  const char** ot = nullOut ? nullptr : &outText;
  const std::string file = op.a >= 0 && op.a < kFileSlotCount ? path(op.a) : std::string();
  const char* f = nullText ? nullptr : file.c_str();
  IVelmoraDatabase& db = *instance;

  Outcome outcome;
  HRESULT& r = outcome.result;
  switch (op.method) {
    case Method::CreateDatabase:
      r = db.CreateDatabase(t1, op.a);
      break;
    case Method::CreateTemporaryTable:
      r = db.CreateTemporaryTable();
      break;
    case Method::AddField:
      r = db.AddField(t1, op.a, oi);
      break;
    case Method::AddRelationField:
      r = db.AddRelationField(t1, t2, oi);
      break;
    case Method::CreateTable:
      r = db.CreateTable(t1, oi);
      break;
    case Method::ChooseTableAt:
      r = db.ChooseTableAt(op.a);
      break;
    case Method::ChooseTable:
      r = db.ChooseTable(t1);
      break;
    case Method::SetStringAt:
      r = db.SetStringAt(op.a, t1);
      break;
    case Method::SetIntAt:
      r = db.SetIntAt(op.a, op.b);
      break;
    case Method::SetLongAt:
      r = db.SetLongAt(op.a, op.b);
      break;
    case Method::SetString:
      r = db.SetString(t1, t2);
      break;
    case Method::SetLong:
      r = db.SetLong(t1, op.a);
      break;
    case Method::SetInt:
      r = db.SetInt(t1, op.a);
      break;
    case Method::SetRelationAt:
      r = db.SetRelationAt(op.a, op.b);
      break;
    case Method::SetRelation:
      r = db.SetRelation(t1, op.a);
      break;
    case Method::AddRecord:
      r = db.AddRecord(oi, op.a);
      break;
    case Method::RecordExistsAt:
      r = db.RecordExistsAt(op.a, op.b, ob);
      break;
    case Method::RecordExists:
      r = db.RecordExists(t1, op.a, ob);
      break;
    case Method::GetRecordCountAt:
      r = db.GetRecordCountAt(op.a, oi);
      break;
    case Method::GetRecordCount:
      r = db.GetRecordCount(t1, oi);
      break;
    case Method::DeleteRecordAt:
      r = db.DeleteRecordAt(op.a, op.b);
      break;
    case Method::DeleteRecord:
      r = db.DeleteRecord(t1, op.a);
      break;
    case Method::GetFieldTypeAt:
      r = db.GetFieldTypeAt(op.a, t1, oi);
      break;
    case Method::GetFieldType:
      r = db.GetFieldType(t1, t2, oi);
      break;
    case Method::GetRelationTargetAt:
      r = db.GetRelationTargetAt(op.a, op.b, ot);
      break;
    case Method::GetRelationTarget:
      r = db.GetRelationTarget(t1, op.a, ot);
      break;
    case Method::GetFieldIndexAt:
      r = db.GetFieldIndexAt(op.a, t1, oi);
      break;
    case Method::GetFieldIndex:
      r = db.GetFieldIndex(t1, t2, oi);
      break;
    case Method::GetFieldNameAt:
      r = db.GetFieldNameAt(op.a, op.b, ot);
      break;
    case Method::GetFieldName:
      r = db.GetFieldName(t1, op.a, ot);
      break;
    case Method::GetFieldCountAt:
      r = db.GetFieldCountAt(op.a, oi);
      break;
    case Method::GetFieldCount:
      r = db.GetFieldCount(t1, oi);
      break;
    case Method::GetIntAt:
      r = db.GetIntAt(op.a, op.b, op.c, oi);
      break;
    case Method::GetInt:
      r = db.GetInt(t1, op.a, t2, oi);
      break;
    case Method::GetLongAt:
      r = db.GetLongAt(op.a, op.b, op.c, oi);
      break;
    case Method::GetLong:
      r = db.GetLong(t1, op.a, t2, oi);
      break;
    case Method::GetStringAt:
      r = db.GetStringAt(op.a, op.b, op.c, ot);
      break;
    case Method::GetString:
      r = db.GetString(t1, op.a, t2, ot);
      break;
    case Method::GetRelationAt:
      r = db.GetRelationAt(op.a, op.b, op.c, oi);
      break;
    case Method::GetRelation:
      r = db.GetRelation(t1, op.a, t2, oi);
      break;
    case Method::GetChildCountAt:
      r = db.GetChildCountAt(op.a, op.b, op.c, oi);
      break;
    case Method::GetChildCount:
      r = db.GetChildCount(t1, op.a, t2, oi);
      break;
    case Method::GetChildAt:
      r = db.GetChildAt(op.a, op.b, op.c, op.d, oi);
      break;
    case Method::GetChild:
      r = db.GetChild(t1, op.a, t2, op.b, oi);
      break;
    case Method::Load:
      r = db.Load(f, ob);
      break;
    case Method::Save:
      r = db.Save(f, ob);
      break;
    case Method::ClearAllRecords:
      r = db.ClearAllRecords();
      break;
    case Method::TableExists:
      r = db.TableExists(op.a, ob);
      break;
    case Method::GetTableIndex:
      r = db.GetTableIndex(t1, oi);
      break;
    case Method::GetTableName:
      r = db.GetTableName(op.a, ot);
      break;
    case Method::DeleteTable:
      r = db.DeleteTable(op.a);
      break;
    case Method::GetTableCount:
      r = db.GetTableCount(oi);
      break;
    case Method::SaveWithSchema:
      r = second().SaveWithSchema(f, ob);
      break;
    case Method::FindString:
      r = second().FindString(t1, t2, findValue(op.a).c_str(), op.b, oi);
      break;
    case Method::FindInt:
      r = second().FindInt(t1, t2, op.a, op.b, oi);
      break;
    case Method::GetDatabaseName:
      r = second().GetDatabaseName(ot);
      break;
    case Method::Open:
      r = second().Open(f, ob);
      break;
    case Method::TruncateFile:
    case Method::PatchFile: {
      std::optional<std::string> source = fileSlotIsOrdinary(op.a) ? readFile(file) : std::nullopt;
      if (!source) {
        std::filesystem::remove(path(kScratchFileSlot));
        return outcome;
      }
      if (op.method == Method::TruncateFile) {
        source->resize(std::min(source->size(), static_cast<size_t>(std::max(op.b, 0))));
      } else if (!source->empty()) {
        (*source)[static_cast<uint32_t>(op.b) % source->size()] = static_cast<char>(op.c & 0xFF);
      }
      writeFile(path(kScratchFileSlot), *source);
      return outcome;
    }
  }

  const OutKind kind = signatureOf(op.method).out;
  if (r != S_OK) {
    if (outInt != kIntSentinel || outBool != kBoolSentinel || outText != kTextSentinel) {
      problem = "out-parameter written although the call failed";
    }
    return outcome;
  }
  if (kind == OutKind::Int) outcome.number = outInt;
  if (kind == OutKind::Bool) {
    outcome.number = outBool;
    if (outBool > 1) problem = "out bool is neither 0 nor 1";
  }
  if (kind == OutKind::Text) {
    if (outText == nullptr || outText == kTextSentinel) {
      problem = "out text not set";
    } else {
      outcome.text = outText;
    }
  }
  return outcome;
}

std::string OperationRunner::step(const Operation& op) {
  const Outcome expected = model.apply(op);
  std::string problem;
  const Outcome actual = call(op, problem);
  if (problem.empty() && actual.result != expected.result) {
    problem = "result " + hex(actual.result) + ", expected " + hex(expected.result);
  } else if (problem.empty() && actual.result == S_OK) {
    const OutKind kind = signatureOf(op.method).out;
    if ((kind == OutKind::Int || kind == OutKind::Bool) && actual.number != expected.number) {
      problem =
          "out " + std::to_string(actual.number) + ", expected " + std::to_string(expected.number);
    }
    if (kind == OutKind::Text && actual.text != expected.text) {
      problem = "out text differs (" + std::to_string(actual.text.size()) + " bytes, expected " +
                std::to_string(expected.text.size()) + ")";
    }
  }
  if (problem.empty() && (op.method == Method::Save || op.method == Method::SaveWithSchema ||
                          op.method == Method::Load || op.method == Method::TruncateFile ||
                          op.method == Method::PatchFile)) {
    problem = compareFiles();
  }
  return problem.empty() ? problem : describe(op) + ": " + problem;
}

std::string OperationRunner::compareFiles() {
  std::set<std::string> expectedNames = {fileSlotName(3)};
  for (int slot = 0; slot < kFileSlotCount; ++slot) {
    if (!fileSlotIsOrdinary(slot)) continue;
    const std::optional<std::string> expected = model.fileContent(slot);
    const std::optional<std::string> actual = readFile(path(slot));
    if (expected) expectedNames.insert(fileSlotName(slot));
    if (expected.has_value() != actual.has_value()) {
      return std::string("file ") + fileSlotName(slot) +
             (expected ? " is missing" : " exists unexpectedly");
    }
    if (expected && *expected != *actual) {
      size_t at = 0;
      while (at < expected->size() && at < actual->size() && (*expected)[at] == (*actual)[at]) {
        ++at;
      }
      return std::string("file ") + fileSlotName(slot) + " differs from byte " +
             std::to_string(at) + ": got \"" + actual->substr(at, 40) + "\", expected \"" +
             expected->substr(at, 40) + "\"";
    }
  }
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    const std::string name = entry.path().filename().string();
    if (expectedNames.count(name) == 0) return "unexpected file " + name + " left behind";
  }
  return std::string();
}

std::string OperationRunner::compareState() {
  const ModelDatabase& database = model.getDatabase();
  std::vector<Operation> reads;
  const int tables = static_cast<int>(database.tables.size());
  reads.push_back(readOnly(Method::GetTableCount));
  for (int t = 0; t <= tables; ++t) {
    reads.push_back(readOnly(Method::TableExists, t));
    reads.push_back(readOnly(Method::GetTableName, t));
    const ModelTable* table = t < tables ? database.tables[t].get() : nullptr;
    if (table == nullptr) continue;
    reads.push_back(readOnly(Method::GetRecordCountAt, t));
    reads.push_back(readOnly(Method::GetFieldCountAt, t));
    const ModelDefinition& definition = table->definition;
    for (int f = 0; f <= definition.getFieldCount(); ++f) {
      reads.push_back(readOnly(Method::GetFieldNameAt, t, f));
      if (f == definition.getFieldCount()) break;
      const std::string& name = definition.names.nameByIndex.at(f);
      reads.push_back(readOnly(Method::GetFieldTypeAt, t, 0, 0, 0, name));
      reads.push_back(readOnly(Method::GetFieldIndexAt, t, 0, 0, 0, name));
      reads.push_back(readOnly(Method::GetRelationTargetAt, t, f));
    }
    size_t lists = table->records.size();
    for (const auto& links : table->childLinks) lists = std::max(lists, links.size());
    std::set<int> children(table->childTables.begin(), table->childTables.end());
    for (int r = 0; r <= static_cast<int>(lists); ++r) {
      reads.push_back(readOnly(Method::RecordExistsAt, t, r));
      if (r < static_cast<int>(table->records.size()) && table->records[r]) {
        for (int f = 0; f < definition.getFieldCount(); ++f) {
          static const Method kGetters[] = {Method::GetIntAt, Method::GetStringAt,
                                            Method::GetLongAt, Method::GetRelationAt};
          const int type = definition.types[f];
          reads.push_back(
              readOnly(type >= 0 && type <= 3 ? kGetters[type] : Method::GetIntAt, t, r, f));
        }
      }
      for (const int c : children) {
        reads.push_back(readOnly(Method::GetChildCountAt, t, r, c));
        const int k =
            static_cast<int>(std::find(table->childTables.begin(), table->childTables.end(), c) -
                             table->childTables.begin());
        const auto& links = table->childLinks[k];
        const int count =
            r < static_cast<int>(links.size()) ? static_cast<int>(links[r].size()) : 0;
        for (int position = 0; position <= count; ++position) {
          reads.push_back(readOnly(Method::GetChildAt, t, r, c, position));
        }
      }
    }
  }
  for (const Operation& read : reads) {
    std::string problem = step(read);
    if (!problem.empty()) return "state check: " + problem;
  }
  return std::string();
}

void resetDirectory(const std::string& directory) {
  std::filesystem::remove_all(directory);
  std::filesystem::create_directories(directory);
}

SequenceResult runSequence(const InstanceFactory& factory, const std::string& directory,
                           const std::vector<Operation>& operations) {
  resetDirectory(directory);
  OperationRunner runner(factory, directory);
  SequenceResult result;
  for (size_t i = 0; i < operations.size(); ++i) {
    std::string problem = runner.step(operations[i]);
    if (problem.empty() &&
        (operations[i].method == Method::Load || operations[i].method == Method::Open)) {
      problem = runner.compareState();
    }
    if (!problem.empty()) {
      result.passed = false;
      result.failingStep = i;
      result.problem = problem;
      return result;
    }
  }
  std::string problem = runner.compareState();
  if (!problem.empty()) {
    result.passed = false;
    result.failingStep = operations.empty() ? 0 : operations.size() - 1;
    result.problem = problem;
  }
  return result;
}

std::vector<Operation> shrinkSequence(const InstanceFactory& factory, const std::string& directory,
                                      std::vector<Operation> operations) {
  SequenceResult result = runSequence(factory, directory, operations);
  if (result.passed) return operations;
  operations.resize(result.failingStep + 1);
  int budget = kShrinkBudget;
  // Removes ever smaller chunks while the run still fails; repeats until nothing goes.
  for (bool shrunk = true; shrunk && budget > 0;) {
    shrunk = false;
    for (size_t chunk = std::max<size_t>(operations.size() / 2, 1); chunk >= 1 && budget > 0;
         chunk /= 2) {
      size_t start = 0;
      while (start < operations.size() && budget > 0) {
        std::vector<Operation> candidate(operations.begin(), operations.begin() + start);
        const size_t end = std::min(operations.size(), start + chunk);
        candidate.insert(candidate.end(), operations.begin() + end, operations.end());
        --budget;
        const SequenceResult tried = runSequence(factory, directory, candidate);
        if (!tried.passed) {
          candidate.resize(tried.failingStep + 1);
          operations = std::move(candidate);
          shrunk = true;
        } else {
          start += chunk;
        }
      }
    }
  }
  return operations;
}

}  // namespace velmora
