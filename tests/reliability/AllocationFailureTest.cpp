// Every allocation along the sample program's flow and along a save/load round trip of a
// database with relations fails in turn (and every allocation of the server's entry points). Each
// call must report the failure cleanly (0x8000FFFF, E_OUTOFMEMORY at creation, 101 for a load),
// leave the instance usable with its data in the state before or after the call, and leak nothing.
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "velmora/IVelmoraDatabase.h"
#include "velmora/IVelmoraDatabase2.h"
#include "velmora/Identifiers.h"

#include "component/ClassFactory.h"
#include "platform/Guid.h"
#include "platform/Registry.h"
#include "tests/platform/ScopedEnvironment.h"
#include "tests/reliability/FailingAllocator.h"
#include "tests/support/ServerLibrary.h"
#include "tests/support/TempDir.h"

using namespace velmora;

namespace {

constexpr int kInstances = 2;

// The instances of one run of a flow.
struct Flow {
  IClassFactory* factory = nullptr;
  IVelmoraDatabase* db[kInstances] = {nullptr, nullptr};
  std::string file;
};

struct Step {
  std::string name;
  int instance;
  std::function<HRESULT(IVelmoraDatabase&)> run;  // unset: creates the instance
  bool definesTable;  // part of a table definition, replayed when createTable consumed it
};

// Builds the steps of a flow.
class FlowBuilder {
 public:
  FlowBuilder& create(int instance) {
    steps.push_back({"create instance " + std::to_string(instance), instance, nullptr, false});
    return *this;
  }
  FlowBuilder& call(int instance, std::string name, std::function<HRESULT(IVelmoraDatabase&)> run,
                    bool definesTable = false) {
    steps.push_back({std::move(name), instance, std::move(run), definesTable});
    return *this;
  }
  FlowBuilder& defineTable(int instance, const std::string& table,
                           const std::vector<std::pair<std::string, int>>& fields,
                           const std::vector<std::pair<std::string, std::string>>& relations = {}) {
    call(
        instance, "CreateTemporaryTable",
        [](IVelmoraDatabase& db) { return db.CreateTemporaryTable(); }, true);
    for (const auto& [field, type] : fields) {
      call(
          instance, "AddField " + field,
          [field = field, type = type](IVelmoraDatabase& db) {
            int32_t out = 0;
            return db.AddField(field.c_str(), type, &out);
          },
          true);
    }
    for (const auto& [field, target] : relations) {
      call(
          instance, "AddRelationField " + field,
          [field = field, target = target](IVelmoraDatabase& db) {
            int32_t out = 0;
            return db.AddRelationField(field.c_str(), target.c_str(), &out);
          },
          true);
    }
    return call(instance, "CreateTable " + table, [table](IVelmoraDatabase& db) {
      int32_t out = 0;
      return db.CreateTable(table.c_str(), &out);
    });
  }
  FlowBuilder& save(int instance, const std::string& file) {
    return call(instance, "Save", [file](IVelmoraDatabase& db) {
      uint8_t saved = 0;
      return db.Save(file.c_str(), &saved);
    });
  }
  // The second interface's calls: the component object answers for both from one address.
  FlowBuilder& saveWithSchema(int instance, const std::string& file) {
    return call(instance, "SaveWithSchema", [file](IVelmoraDatabase& db) {
      uint8_t saved = 0;
      return static_cast<IVelmoraDatabase2&>(db).SaveWithSchema(file.c_str(), &saved);
    });
  }
  FlowBuilder& openFile(int instance, const std::string& file) {
    return call(instance, "Open", [file](IVelmoraDatabase& db) {
      uint8_t loaded = 0;
      const HRESULT result = static_cast<IVelmoraDatabase2&>(db).Open(file.c_str(), &loaded);
      return result == S_OK && loaded != 1 ? E_FAIL : result;
    });
  }
  FlowBuilder& load(int instance, const std::string& file) {
    return call(instance, "Load", [file](IVelmoraDatabase& db) {
      uint8_t loaded = 0;
      const HRESULT result = db.Load(file.c_str(), &loaded);
      return result == S_OK && loaded != 1 ? E_FAIL : result;
    });
  }

  std::vector<Step> steps;
};

// Everything an instance shows through the interface, as text: tables, fields, records, values
// and child lists (every call's failure code included).
std::string fingerprint(IVelmoraDatabase* db) {
  if (db == nullptr) return "no instance\n";
  std::string out;
  // Each value is read by its own statement before it is noted.
  auto note = [&out](const std::string& what, HRESULT result, const std::string& value) {
    out += what + (result == S_OK ? "=" + value : " failed " + std::to_string(result)) + "\n";
  };
  auto text = [](const char* value) { return std::string(value != nullptr ? value : "(null)"); };
  const char* databaseName = nullptr;
  HRESULT result = static_cast<IVelmoraDatabase2*>(db)->GetDatabaseName(&databaseName);
  note("database", result, text(databaseName));
  int32_t tables = 0;
  result = db->GetTableCount(&tables);
  note("tables", result, std::to_string(tables));
  for (int t = 0; t < tables; ++t) {
    uint8_t exists = 0;
    db->TableExists(t, &exists);
    const std::string at = "t" + std::to_string(t);
    if (exists == 0) {
      out += at + " deleted\n";
      continue;
    }
    const char* name = nullptr;
    result = db->GetTableName(t, &name);
    note(at + " name", result, text(name));
    int32_t fields = 0;
    result = db->GetFieldCountAt(t, &fields);
    note(at + " fields", result, std::to_string(fields));
    int32_t records = 0;
    result = db->GetRecordCountAt(t, &records);
    note(at + " records", result, std::to_string(records));
    std::vector<int32_t> types(static_cast<size_t>(fields), -1);
    for (int f = 0; f < fields; ++f) {
      const char* fieldName = nullptr;
      result = db->GetFieldNameAt(t, f, &fieldName);
      note(at + " field" + std::to_string(f), result, text(fieldName));
      if (result == S_OK) db->GetFieldTypeAt(t, fieldName, &types[f]);
      out += " type " + std::to_string(types[f]) + "\n";
    }
    for (int r = 0; r < records; ++r) {
      const std::string record = at + " r" + std::to_string(r);
      db->RecordExistsAt(t, r, &exists);
      if (exists == 0) {
        out += record + " deleted\n";
      } else {
        for (int f = 0; f < fields; ++f) {
          int32_t number = 0;
          const char* value = nullptr;
          const std::string field = record + " f" + std::to_string(f);
          switch (types[f]) {
            case 0:
              result = db->GetIntAt(t, r, f, &number);
              break;
            case 1:
              result = db->GetStringAt(t, r, f, &value);
              break;
            case 2:
              result = db->GetLongAt(t, r, f, &number);
              break;
            case 3:
              result = db->GetRelationAt(t, r, f, &number);
              break;
          }
          note(field, result, types[f] == 1 ? text(value) : std::to_string(number));
        }
      }
      for (int c = 0; c < tables; ++c) {
        int32_t count = 0;
        if (db->GetChildCountAt(t, r, c, &count) != S_OK) continue;
        out += record + " children in t" + std::to_string(c) + ":";
        for (int n = 0; n < count; ++n) {
          int32_t child = -1;
          db->GetChildAt(t, r, c, n, &child);
          out += " " + std::to_string(child);
        }
        out += "\n";
      }
    }
  }
  return out;
}

std::string fingerprint(const Flow& flow) {
  std::string out;
  for (IVelmoraDatabase* db : flow.db) out += "--\n" + fingerprint(db);
  return out;
}

// Runs step i of the flow with allocation failures enabled around the call alone.
HRESULT runStep(Flow& flow, const Step& step, bool failuresEnabled) {
  enableAllocationFailure(failuresEnabled);
  HRESULT result;
  if (!step.run) {
    void* out = nullptr;
    result = flow.factory->CreateInstance(nullptr, IID_IVelmoraDatabase, &out);
    enableAllocationFailure(false);
    if (result == S_OK) {
      flow.db[step.instance] = static_cast<IVelmoraDatabase*>(out);
    } else if (out != nullptr) {
      result = E_FAIL;  // a failed creation hands out nothing
    }
  } else {
    result = step.run(*flow.db[step.instance]);
    enableAllocationFailure(false);
  }
  return result;
}

class AllocationFailureTest : public TempDirTest {
 protected:
  // The clean run: the state before and after each step, and the final saved bytes.
  void recordCleanRun(const std::vector<Step>& steps) {
    Flow flow = open();
    for (const Step& step : steps) {
      before.push_back(fingerprint(flow));
      ASSERT_EQ(runStep(flow, step, false), S_OK) << step.name;
      after.push_back(fingerprint(flow));
    }
    savedBytes = readFileBytes(file);
    close(flow);
    ASSERT_FALSE(savedBytes.empty());
  }

  Flow open() {
    Flow flow;
    flow.factory = new ClassFactory();
    flow.factory->AddRef();
    flow.file = file;
    return flow;
  }

  static void close(Flow& flow) {
    for (IVelmoraDatabase*& db : flow.db) {
      if (db != nullptr) db->Release();
      db = nullptr;
    }
    flow.factory->Release();
  }

  // Fails allocation k of the flow for k = 1, 2, ... until a run passes without a failure.
  // Returns the number of runs in which an allocation failed.
  int failEveryAllocation(const std::vector<Step>& steps) {
    recordCleanRun(steps);
    if (HasFatalFailure()) return 0;
    {  // warm-up: one-time allocations of the library happen outside the counted runs
      Flow flow = open();
      for (const Step& step : steps) runStep(flow, step, false);
      close(flow);
    }
    int failures = 0;
    for (long k = 1;; ++k) {
      removeFile();
      const long baseline = liveAllocations();
      const bool failed = runWithFailure(steps, k);
      EXPECT_EQ(liveAllocations(), baseline)
          << "allocations leaked when allocation " << k << " failed";
      if (!failed || HasFailure()) break;
      ++failures;
    }
    return failures;
  }

  // One run with allocation k failing; false when the flow makes fewer than k allocations.
  bool runWithFailure(const std::vector<Step>& steps, long k) {
    Flow flow = open();
    armAllocationFailure(k);
    bool failed = false;
    for (size_t i = 0; i < steps.size() && !HasFailure(); ++i) {
      const Step& step = steps[i];
      const HRESULT result = runStep(flow, step, !failed);
      if (failed || !allocationFailed()) {
        EXPECT_EQ(result, S_OK) << step.name << " after allocation " << k;
        continue;
      }
      failed = true;
      disarmAllocationFailure();
      checkFailedStep(flow, steps, i, result, k);
    }
    disarmAllocationFailure();
    if (!HasFailure()) {
      EXPECT_EQ(fingerprint(flow), after.back()) << "allocation " << k;
      EXPECT_EQ(readFileBytes(file), savedBytes) << "allocation " << k;
      // Not even a save failing right after creating its temporary file leaves it behind (#9).
      EXPECT_EQ(listDirectory(dir.path()), std::vector<std::string>{"sample.xml"})
          << "allocation " << k;
    }
    close(flow);
    return failed;
  }

  // The step whose allocation failed: a clean result code, the data as before or after the
  // step, and a retry that succeeds (a failed CreateTable consumes its temporary table, so its
  // definition is given again first).
  void checkFailedStep(Flow& flow, const std::vector<Step>& steps, size_t i, HRESULT result,
                       long k) {
    const Step& step = steps[i];
    const bool isLoad = step.name == "Load";
    // Reading a file reports any failure while reading as 101, memory included.
    const bool reads = isLoad || step.name == "Open";
    const bool cleanCode = result == E_UNEXPECTED || (!step.run && result == E_OUTOFMEMORY) ||
                           (reads && result == engineCode(101)) || result == S_OK;
    EXPECT_TRUE(cleanCode) << step.name << " returned " << result << " at allocation " << k;
    const std::string now = fingerprint(flow);
    // The step took effect after all (when its effect shows; otherwise it is retried).
    if (now == after[i] && now != before[i]) return;
    // A failed load has cleared the records first, as every failed load does; otherwise the
    // data must be as before the step.
    if (!isLoad) {
      EXPECT_EQ(now, before[i]) << step.name << " at allocation " << k;
    }
    HRESULT retried = runStep(flow, step, false);
    if (retried == engineCode(3) && step.name.rfind("CreateTable", 0) == 0) {
      size_t first = i;
      while (first > 0 && steps[first - 1].definesTable) --first;
      for (size_t j = first; j < i; ++j) ASSERT_EQ(runStep(flow, steps[j], false), S_OK);
      retried = runStep(flow, step, false);
    }
    EXPECT_EQ(retried, S_OK) << "retrying " << step.name << " after allocation " << k;
    EXPECT_EQ(fingerprint(flow), after[i]) << "retrying " << step.name << " after allocation " << k;
  }

  void removeFile() { std::remove(file.c_str()); }

  std::string file = dir.file("sample.xml");
  std::vector<std::string> before;
  std::vector<std::string> after;
  std::string savedBytes;
};

}  // namespace

TEST_F(AllocationFailureTest, EveryAllocationOfTheSampleFlowFailsCleanly) {
  FlowBuilder flow;
  flow.create(0)
      .call(0, "CreateDatabase",
            [](IVelmoraDatabase& db) { return db.CreateDatabase("my database", 1); })
      .defineTable(0, "employee", {{"name", 1}, {"surname", 1}, {"age", 0}})
      .call(0, "ChooseTable", [](IVelmoraDatabase& db) { return db.ChooseTable("employee"); })
      .call(0, "SetString name", [](IVelmoraDatabase& db) { return db.SetString("name", "john"); })
      .call(0, "SetString surname",
            [](IVelmoraDatabase& db) { return db.SetString("surname", "doe"); })
      .call(0, "SetInt age", [](IVelmoraDatabase& db) { return db.SetInt("age", 12); })
      .call(0, "AddRecord",
            [](IVelmoraDatabase& db) {
              int32_t out = 0;
              return db.AddRecord(&out, -1);
            })
      .save(0, file)
      .create(1)
      .defineTable(1, "employee", {{"name", 1}, {"surname", 1}, {"age", 0}})
      .load(1, file)
      .load(0, file);
  const int failures = failEveryAllocation(flow.steps);
  printf("[ reliability ] sample flow: %d allocations failed in turn\n", failures);
  EXPECT_GT(failures, 20);
}

TEST_F(AllocationFailureTest, EveryAllocationOfASaveLoadRoundTripFailsCleanly) {
  FlowBuilder flow;
  for (int instance = 0; instance < kInstances; ++instance) {
    flow.create(instance)
        .defineTable(instance, "dept", {{"title", 1}, {"size", 2}}, {{"parent", "dept"}})
        .defineTable(instance, "member", {{"note", 1}, {"age", 0}}, {{"person", "dept"}});
  }
  const char* const titles[] = {"root & <co>", " lead", "a]]>b", "x\r\ny"};
  for (int i = 0; i < 4; ++i) {
    flow.call(0, "add dept", [i, &titles](IVelmoraDatabase& db) {
      int32_t out = 0;
      HRESULT result = db.ChooseTable("dept");
      if (result == S_OK) result = db.SetString("title", titles[i]);
      if (result == S_OK) result = db.SetLong("size", -2147483647 - 1 + i);
      if (result == S_OK) result = db.SetRelation("parent", i / 2);
      return result == S_OK ? db.AddRecord(&out, -1) : result;
    });
  }
  for (int i = 0; i < 6; ++i) {
    flow.call(0, "add member", [i](IVelmoraDatabase& db) {
      int32_t out = 0;
      HRESULT result = db.ChooseTableAt(1);
      if (result == S_OK) result = db.SetStringAt(0, i % 2 == 0 ? "" : "\t note");
      if (result == S_OK) result = db.SetIntAt(1, i * 1000);
      if (result == S_OK) result = db.SetRelationAt(2, (i * 3) % 4);
      return result == S_OK ? db.AddRecord(&out, -1) : result;
    });
  }
  flow.call(0, "DeleteRecord member",
            [](IVelmoraDatabase& db) { return db.DeleteRecord("member", 1); })
      .call(0, "DeleteRecord dept", [](IVelmoraDatabase& db) { return db.DeleteRecord("dept", 3); })
      .save(0, file)
      .load(1, file)
      .load(0, file);
  const int failures = failEveryAllocation(flow.steps);
  printf("[ reliability ] save/load round trip: %d allocations failed in turn\n", failures);
  EXPECT_GT(failures, 50);
}

// Open builds the whole database aside: whichever allocation fails, the instance keeps its
// name, tables and records, and a retry opens the file.
TEST_F(AllocationFailureTest, EveryAllocationOfOpenLeavesTheDatabaseAsItWas) {
  FlowBuilder flow;
  flow.create(0)
      .call(0, "CreateDatabase", [](IVelmoraDatabase& db) { return db.CreateDatabase("d&b", 1); })
      .defineTable(0, "dept", {{"title", 1}, {"size", 2}}, {{"parent", "dept"}})
      .defineTable(0, "member", {{"age", 0}}, {{"person", "dept"}});
  for (int i = 0; i < 3; ++i) {
    flow.call(0, "add dept", [i](IVelmoraDatabase& db) {
      int32_t out = 0;
      HRESULT result = db.ChooseTable("dept");
      if (result == S_OK) result = db.SetString("title", i == 1 ? "a <b>" : "c");
      if (result == S_OK) result = db.SetRelation("parent", 0);
      return result == S_OK ? db.AddRecord(&out, -1) : result;
    });
  }
  flow.call(0, "DeleteRecord dept", [](IVelmoraDatabase& db) { return db.DeleteRecord("dept", 2); })
      .saveWithSchema(0, file)
      .create(1)
      .call(1, "CreateDatabase", [](IVelmoraDatabase& db) { return db.CreateDatabase("old", 1); })
      .defineTable(1, "other", {{"x", 0}})
      .call(1, "add other",
            [](IVelmoraDatabase& db) {
              int32_t out = 0;
              const HRESULT result = db.ChooseTable("other");
              return result == S_OK ? db.AddRecord(&out, -1) : result;
            })
      .openFile(1, file);
  const int failures = failEveryAllocation(flow.steps);
  printf("[ reliability ] open: %d allocations failed in turn\n", failures);
  EXPECT_GT(failures, 20);
}

// The built library's entry points under the same failures: the class object cannot be made
// (E_OUTOFMEMORY, nothing left alive), and registration and unregistration fail part way at
// every allocation without ever leaving the registry file broken, an unrelated key lost or a
// temporary file behind.
TEST_F(AllocationFailureTest, EveryAllocationOfTheEntryPointsFailsCleanly) {
  ScopedEnvironment registry("VELMORA_REGISTRY", dir.file("registry.reg"));
  ServerLibrary server(VELMORA_SERVER_LIBRARY);
  ASSERT_TRUE(server.loaded()) << dlerror();
  ASSERT_TRUE(registrySetDefaultValue("Unrelated", "kept"));

  void* out = nullptr;
  armAllocationFailure(1);
  enableAllocationFailure(true);
  const HRESULT created = server.getClassObject(CLSID_VelmoraDatabase, IID_IClassFactory, &out);
  disarmAllocationFailure();
  EXPECT_EQ(created, E_OUTOFMEMORY);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(server.canUnloadNow(), S_OK);

  const std::vector<std::string> files = {"registry.reg", "registry.reg.lock"};
  int failures = 0;
  for (long k = 1;; ++k) {
    bool failed = false;
    for (const bool registering : {true, false}) {
      armAllocationFailure(k);
      enableAllocationFailure(true);
      const HRESULT result = registering ? server.registerServer() : server.unregisterServer();
      enableAllocationFailure(false);
      failed = failed || allocationFailed();
      disarmAllocationFailure();
      if (registering) {
        EXPECT_TRUE(result == S_OK || (allocationFailed() && result == E_UNEXPECTED)) << k;
      } else {
        EXPECT_EQ(result, S_FALSE) << k;
      }
      std::string why;
      EXPECT_TRUE(registryCheckFile(&why)) << why << " after allocation " << k;
      std::string value;
      EXPECT_TRUE(registryGetDefaultValue("Unrelated", value)) << k;
      EXPECT_EQ(value, "kept");
      EXPECT_EQ(listDirectory(dir.path()), files) << k;
    }
    if (!failed || HasFailure()) break;
    ++failures;
  }
  ASSERT_EQ(server.registerServer(), S_OK);
  std::string path;
  const std::string key = "CLSID\\" + guidToString(CLSID_VelmoraDatabase) + "\\InprocServer32";
  EXPECT_TRUE(registryGetDefaultValue(key, path));
  EXPECT_NE(path.find("libvelmoracom"), std::string::npos) << path;
  printf("[ reliability ] registration: %d allocations failed in turn\n", failures);
  EXPECT_GT(failures, 10);
}
