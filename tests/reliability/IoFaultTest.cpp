// Saving and loading under file-system faults: injected failures of each file call, a file-size
// limit reached mid-write, a target directory that disappears, a full file system, and every
// truncation of a saved file.
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "velmora/IVelmoraDatabase2.h"
#include "velmora/Identifiers.h"

#include "component/ComponentObject.h"
#include "tests/reliability/Operation.h"
#include "tests/reliability/OperationRunner.h"
#include "tests/reliability/TestDatabases.h"
#include "tests/support/FaultInjectingFileEnv.h"
#include "tests/support/ServerLibrary.h"
#include "tests/support/TempDir.h"

using namespace velmora;

namespace {

constexpr HRESULT kCannotRead = engineCode(101);
constexpr HRESULT kCannotWrite = engineCode(102);

// The object's interface, holding the one reference.
IVelmoraDatabase* interfaceOf(ComponentObject* object) {
  void* out = nullptr;
  EXPECT_EQ(object->QueryInterface(IID_IVelmoraDatabase, &out), S_OK);
  return static_cast<IVelmoraDatabase*>(out);
}

IVelmoraDatabase* createObject() { return interfaceOf(new ComponentObject()); }

// One instance for the length of a test, saving and loading through its own file environment.
class Instance {
 public:
  Instance() {
    auto* object = new ComponentObject();
    object->getWorkspace().setFileEnv(env);
    db = interfaceOf(object);
  }
  ~Instance() { db->Release(); }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;
  IVelmoraDatabase* operator->() const { return db; }
  IVelmoraDatabase& operator*() const { return *db; }

  FaultInjectingFileEnv env;  // outlives the object, which dies in the destructor's Release

 private:
  IVelmoraDatabase* db = nullptr;
};

// The file call a case breaks, and how.
enum class Call { Open, Write, WriteNothing, Fsync, Close, Rename, Fchmod, Flock, Fstat, Pread };

struct Injection {
  Call call = Call::Open;
  int failAt = 0;  // 1 for the first call of that kind
  int error = EIO;
  int calls = 0;
  std::function<void()> before;  // runs at the failing call instead of failing it, when set
};
Injection injection;

// True when this call is the one to break (and counts it).
bool strikes(Call call) {
  if (injection.call != call && !(call == Call::Write && injection.call == Call::WriteNothing)) {
    return false;
  }
  if (++injection.calls != injection.failAt) return false;
  if (injection.before) {
    injection.before();
    return false;
  }
  errno = injection.error;
  return true;
}

FileEnv& real() { return defaultFileEnv(); }

int injectedOpen(const char* path, int flags, mode_t mode) {
  return strikes(Call::Open) ? -1 : real().open(path, flags, mode);
}
ssize_t injectedWrite(int descriptor, const void* bytes, size_t count) {
  if (!strikes(Call::Write)) return real().write(descriptor, bytes, count);
  return injection.call == Call::WriteNothing ? 0 : -1;
}
int injectedFsync(int descriptor) { return strikes(Call::Fsync) ? -1 : real().sync(descriptor); }
int injectedClose(int descriptor) {
  const int closed = real().close(descriptor);  // the descriptor goes whatever is reported
  return strikes(Call::Close) ? -1 : closed;
}
int injectedRename(const char* from, const char* to) {
  return strikes(Call::Rename) ? -1 : real().rename(from, to);
}
int injectedFchmod(int descriptor, mode_t mode) {
  return strikes(Call::Fchmod) ? -1 : real().chmod(descriptor, mode);
}
int injectedFlock(int descriptor, int operation) {
  return strikes(Call::Flock) ? -1 : real().lock(descriptor, operation);
}
int injectedFstat(int descriptor, struct stat* status) {
  return strikes(Call::Fstat) ? -1 : real().fstat(descriptor, status);
}
ssize_t injectedPread(int descriptor, void* bytes, size_t count, off_t offset) {
  return strikes(Call::Pread) ? -1 : real().pread(descriptor, bytes, count, offset);
}

// Routes every file call of the instance through the injection for the guard's lifetime.
class InjectedFileSystem {
 public:
  InjectedFileSystem(Instance& instance, Injection armed) : env(instance.env) {
    injection = std::move(armed);
    FaultInjectingFileEnv::Calls& fs = env.calls;
    fs.open = injectedOpen;
    fs.write = injectedWrite;
    fs.sync = injectedFsync;
    fs.close = injectedClose;
    fs.rename = injectedRename;
    fs.chmod = injectedFchmod;
    fs.lock = injectedFlock;
    fs.fstat = injectedFstat;
    fs.pread = injectedPread;
  }
  ~InjectedFileSystem() {
    env.calls = FaultInjectingFileEnv::realCalls();
    injection = Injection();
  }
  InjectedFileSystem(const InjectedFileSystem&) = delete;
  InjectedFileSystem& operator=(const InjectedFileSystem&) = delete;

 private:
  FaultInjectingFileEnv& env;
};

// Runs body in a forked child and returns its exit status (-1 when it did not exit normally).
int inChild(const std::function<int()>& body) {
  fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) _exit(body());
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

class IoFaultTest : public TempDirTest {
 protected:
  // An instance holding the employee table with `records` records, saved once to `target`
  // (the earlier file), then grown by more records so a new save would differ.
  void prepare(Instance& db, const std::string& target, int records = 3, int added = 40000) {
    defineEmployee(*db);
    addEmployees(*db, records);
    uint8_t saved = 0;
    ASSERT_EQ(db->Save(target.c_str(), &saved), S_OK);
    earlier = readFileBytes(target);
    ASSERT_FALSE(earlier.empty());
    addEmployees(*db, added, records);
  }

  std::string earlier;
};

}  // namespace

// Each file call of a save fails in turn: the result is 102, the earlier file is untouched, no
// temporary file is left and no descriptor leaks; the next save succeeds.
TEST_F(IoFaultTest, EveryFailingFileCallOfASaveKeepsTheEarlierFile) {
  struct Case {
    const char* what;
    Call call;
    int failAt;
    int error;
    bool renamed;  // the failure comes after the new file took the target's name
  } const cases[] = {
      {"creating the temporary file", Call::Open, 1, EACCES, false},
      {"copying the target's permissions", Call::Fchmod, 1, EPERM, false},
      {"the first write", Call::Write, 1, ENOSPC, false},
      {"a later write", Call::Write, 2, EDQUOT, false},
      {"a write that writes nothing", Call::WriteNothing, 1, 0, false},
      {"syncing the file", Call::Fsync, 1, EIO, false},
      {"closing the file", Call::Close, 1, EIO, false},
      {"renaming over the target", Call::Rename, 1, EXDEV, false},
      {"opening the directory", Call::Open, 2, EMFILE, true},
      {"syncing the directory", Call::Fsync, 2, EIO, true},
  };
  Instance db;
  const std::string target = dir.file("db.xml");
  prepare(db, target);
  const std::string reference = dir.file("reference.xml");
  uint8_t saved = 0;
  ASSERT_EQ(db->Save(reference.c_str(), &saved), S_OK);
  const std::string fresh = readFileBytes(reference);
  ASSERT_GT(fresh.size(), size_t{1} << 21);  // more than one chunk to write
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFileBytes(target, earlier);
    const int descriptors = countOpenDescriptors();
    {
      InjectedFileSystem injected(db, {c.call, c.failAt, c.error, 0, nullptr});
      saved = 7;
      EXPECT_EQ(db->Save(target.c_str(), &saved), kCannotWrite);
      EXPECT_EQ(saved, 7);
      EXPECT_GE(injection.calls, c.failAt);  // the failure really happened
    }
    EXPECT_EQ(readFileBytes(target) == (c.renamed ? fresh : earlier), true);
    EXPECT_EQ(listDirectory(dir.path()), (std::vector<std::string>{"db.xml", "reference.xml"}));
    EXPECT_EQ(countOpenDescriptors(), descriptors);
  }
  ASSERT_EQ(db->Save(target.c_str(), &saved), S_OK);
  EXPECT_EQ(readFileBytes(target), fresh);
}

namespace {

// The calls a successful save makes to the file system, in order (descriptors as "file" or
// "directory").
std::vector<std::string> journal;
int journalFile = -1;
int journalDirectory = -1;

std::string journalName(int descriptor) {
  // The directory is opened after the file is closed and may get the same number.
  return descriptor == journalDirectory ? "directory" : descriptor == journalFile ? "file" : "?";
}

}  // namespace

// A save is durable before it reports success: the temporary file is synced before it is
// renamed over the target, and the directory is synced after the rename.
TEST_F(IoFaultTest, SaveSyncsTheFileBeforeTheRenameAndTheDirectoryAfter) {
  Instance db;
  const std::string target = dir.file("db.xml");
  prepare(db, target, 3, 10);
  journal.clear();
  journalFile = journalDirectory = -1;
  FaultInjectingFileEnv::Calls& fs = db.env.calls;
  fs.open = [](const char* path, int flags, mode_t mode) {
    const int descriptor = real().open(path, flags, mode);
    ((flags & O_DIRECTORY) != 0 ? journalDirectory : journalFile) = descriptor;
    journal.push_back((flags & O_DIRECTORY) != 0 ? "open directory" : "open file");
    return descriptor;
  };
  fs.write = [](int descriptor, const void* bytes, size_t count) {
    if (journal.empty() || journal.back() != "write " + journalName(descriptor)) {
      journal.push_back("write " + journalName(descriptor));
    }
    return real().write(descriptor, bytes, count);
  };
  fs.sync = [](int descriptor) {
    journal.push_back("fsync " + journalName(descriptor));
    return real().sync(descriptor);
  };
  fs.close = [](int descriptor) {
    journal.push_back("close " + journalName(descriptor));
    return real().close(descriptor);
  };
  fs.rename = [](const char* from, const char* to) {
    journal.push_back("rename");
    return real().rename(from, to);
  };
  uint8_t saved = 0;
  const HRESULT result = db->Save(target.c_str(), &saved);
  fs = FaultInjectingFileEnv::realCalls();
  ASSERT_EQ(result, S_OK);
  EXPECT_EQ(journal, (std::vector<std::string>{"open file", "write file", "fsync file",
                                               "close file", "rename", "open directory",
                                               "fsync directory", "close directory"}));
}

// Writes that take fewer bytes than offered are continued, not mistaken for failures.
TEST_F(IoFaultTest, ShortWritesStillSaveEveryByte) {
  Instance db;
  const std::string target = dir.file("db.xml");
  prepare(db, target, 3, 2000);
  const std::string reference = dir.file("reference.xml");
  uint8_t saved = 0;
  ASSERT_EQ(db->Save(reference.c_str(), &saved), S_OK);
  FaultInjectingFileEnv::Calls& fs = db.env.calls;
  fs.write = [](int descriptor, const void* bytes, size_t count) {
    return real().write(descriptor, bytes, count < 1000 ? count : 1000);
  };
  const HRESULT result = db->Save(target.c_str(), &saved);
  fs = FaultInjectingFileEnv::realCalls();
  EXPECT_EQ(result, S_OK);
  EXPECT_EQ(readFileBytes(target), readFileBytes(reference));
}

// Each file call of a load fails in turn: 101, every record cleared, no descriptor left open;
// the next load succeeds.
TEST_F(IoFaultTest, EveryFailingFileCallOfALoadReportsCannotRead) {
  struct Case {
    const char* what;
    Call call;
    int error;
  } const cases[] = {
      {"opening", Call::Open, ENFILE},
      {"locking", Call::Flock, EWOULDBLOCK},
      {"reading the size", Call::Fstat, EIO},
      {"reading", Call::Pread, EIO},
  };
  Instance db;
  const std::string target = dir.file("db.xml");
  prepare(db, target, 5, 0);
  int32_t count = -1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int descriptors = countOpenDescriptors();
    {
      InjectedFileSystem injected(db, {c.call, 1, c.error, 0, nullptr});
      uint8_t loaded = 7;
      EXPECT_EQ(db->Load(target.c_str(), &loaded), kCannotRead);
      EXPECT_EQ(loaded, 7);
      EXPECT_EQ(injection.calls, 1);
    }
    EXPECT_EQ(countOpenDescriptors(), descriptors);
    ASSERT_EQ(db->GetRecordCountAt(0, &count), S_OK);
    EXPECT_EQ(count, 0);
    uint8_t loaded = 0;
    ASSERT_EQ(db->Load(target.c_str(), &loaded), S_OK);
    ASSERT_EQ(db->GetRecordCountAt(0, &count), S_OK);
    EXPECT_EQ(count, 5);
  }
}

// Each file call of an Open fails in turn, in its first read (the schema) and its second (the
// records): 101 naming the file, and the instance keeps its database whole.
TEST_F(IoFaultTest, EveryFailingFileCallOfAnOpenChangesNothing) {
  Instance source;
  const std::string target = dir.file("db.xml");
  defineEmployee(*source);
  addEmployees(*source, 5);
  uint8_t flag = 0;
  ASSERT_EQ(static_cast<IVelmoraDatabase2&>(*source).SaveWithSchema(target.c_str(), &flag), S_OK);
  Instance db;
  ASSERT_EQ(db->CreateDatabase("kept", 1), S_OK);
  defineEmployee(*db);
  addEmployees(*db, 2);
  auto& second = static_cast<IVelmoraDatabase2&>(*db);
  const Call calls[] = {Call::Open, Call::Flock, Call::Fstat, Call::Pread};
  int32_t count = -1;
  const char* text = nullptr;
  for (const Call call : calls) {
    for (int failAt = 1; failAt <= 2; ++failAt) {
      SCOPED_TRACE(std::to_string(static_cast<int>(call)) + " #" + std::to_string(failAt));
      const int descriptors = countOpenDescriptors();
      {
        InjectedFileSystem injected(db, {call, failAt, EIO, 0, nullptr});
        uint8_t loaded = 7;
        EXPECT_EQ(second.Open(target.c_str(), &loaded), kCannotRead);
        EXPECT_EQ(loaded, 7);
      }
      EXPECT_EQ(countOpenDescriptors(), descriptors);
      ASSERT_EQ(second.GetLastErrorText(&text), S_OK);
      EXPECT_EQ(std::string(text).rfind(target + ": ", 0), 0u) << text;
      ASSERT_EQ(db->GetRecordCountAt(0, &count), S_OK);
      EXPECT_EQ(count, 2);
      ASSERT_EQ(second.GetDatabaseName(&text), S_OK);
      EXPECT_STREQ(text, "kept");
    }
  }
  ASSERT_EQ(second.Open(target.c_str(), &flag), S_OK);
  ASSERT_EQ(db->GetRecordCountAt(0, &count), S_OK);
  EXPECT_EQ(count, 5);
}

// A failed save names the file and the system's reason, whichever step failed.
TEST_F(IoFaultTest, FailedSaveTextNamesTheFileAndTheReason) {
  struct Case {
    Call call;
    int error;
  } const cases[] = {
      {Call::Open, EACCES}, {Call::Write, ENOSPC}, {Call::Fsync, EIO}, {Call::Rename, EXDEV}};
  Instance db;
  const std::string target = dir.file("db.xml");
  prepare(db, target, 3, 3);
  auto& second = static_cast<IVelmoraDatabase2&>(*db);
  for (const Case& c : cases) {
    for (const bool withSchema : {false, true}) {
      SCOPED_TRACE(strerror(c.error));
      InjectedFileSystem injected(db, {c.call, 1, c.error, 0, nullptr});
      uint8_t saved = 7;
      EXPECT_EQ(withSchema ? second.SaveWithSchema(target.c_str(), &saved)
                           : db->Save(target.c_str(), &saved),
                kCannotWrite);
      const char* text = nullptr;
      ASSERT_EQ(second.GetLastErrorText(&text), S_OK);
      EXPECT_NE(std::string(text).find(dir.path() + "/db.xml"), std::string::npos) << text;
      EXPECT_NE(std::string(text).find(strerror(c.error)), std::string::npos) << text;
    }
  }
}

// The process's file-size limit cuts the write short (SIGXFSZ ignored, so write fails with
// EFBIG): 102, and the earlier file is whole.
TEST_F(IoFaultTest, FileSizeLimitMidWriteKeepsTheEarlierFile) {
  Instance db;
  const std::string target = dir.file("db.xml");
  prepare(db, target, 3, 3000);
  const int status = inChild([&] {
    const rlimit limit = {64 * 1024, 64 * 1024};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
    signal(SIGXFSZ, SIG_IGN);
    uint8_t saved = 0;
    return db->Save(target.c_str(), &saved) == kCannotWrite ? 0 : 1;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(readFileBytes(target), earlier);
  EXPECT_EQ(listDirectory(dir.path()), std::vector<std::string>{"db.xml"});
}

// A target whose directory is gone, before the save and while it runs; a target that is a
// directory. Nothing is created, nothing is left.
TEST_F(IoFaultTest, MissingOrVanishingDirectoryFailsTheSave) {
  Instance db;
  const std::string folder = dir.file("folder");
  std::filesystem::create_directory(folder);
  const std::string target = folder + "/db.xml";
  prepare(db, target, 3, 10);
  uint8_t saved = 0;

  std::filesystem::remove_all(folder);
  EXPECT_EQ(db->Save(target.c_str(), &saved), kCannotWrite);
  EXPECT_TRUE(listDirectory(dir.path()).empty());

  std::filesystem::create_directory(folder);
  {
    Injection removing{Call::Write, 1, 0, 0, [&] { std::filesystem::remove_all(folder); }};
    InjectedFileSystem injected(db, removing);
    EXPECT_EQ(db->Save(target.c_str(), &saved), kCannotWrite);
  }
  EXPECT_TRUE(listDirectory(dir.path()).empty());

  std::filesystem::create_directories(dir.file("occupied/inner"));
  EXPECT_EQ(db->Save(dir.file("occupied").c_str(), &saved), kCannotWrite);
  EXPECT_EQ(listDirectory(dir.path()), std::vector<std::string>{"occupied"});
  EXPECT_EQ(listDirectory(dir.file("occupied")), std::vector<std::string>{"inner"});
}

// A small file system of its own (a tmpfs mounted in a private mount namespace) filled up by
// the save: 102, the earlier file whole, no temporary file, and a smaller save fits again.
TEST_F(IoFaultTest, FullFileSystemKeepsTheEarlierFile) {
  Instance db;
  const std::string mountPoint = dir.file("small");
  std::filesystem::create_directory(mountPoint);
  const std::string target = mountPoint + "/db.xml";
  defineEmployee(*db);
  addEmployees(*db, 20);
  const int status = inChild([&] {
    if (unshare(CLONE_NEWNS) != 0) return 77;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 77;
    if (mount("velmora-test", mountPoint.c_str(), "tmpfs", 0, "size=256k") != 0) return 77;
    uint8_t saved = 0;
    if (db->Save(target.c_str(), &saved) != S_OK) return 2;
    const std::string before = readFileBytes(target);
    addEmployees(*db, 20000, 20);
    if (db->Save(target.c_str(), &saved) != kCannotWrite) return 3;
    if (readFileBytes(target) != before) return 4;
    if (listDirectory(mountPoint) != std::vector<std::string>{"db.xml"}) return 5;
    int32_t ignored = 0;
    for (int r = 20; r < 20020; ++r) {
      if (db->DeleteRecordAt(0, r) != S_OK) return 6;
    }
    if (db->GetRecordCountAt(0, &ignored) != S_OK) return 6;
    return db->Save(target.c_str(), &saved) == S_OK ? 0 : 7;
  });
  if (status == 77) GTEST_SKIP() << "cannot mount a small file system here (no mount namespace)";
  EXPECT_EQ(status, 0) << "1: crashed, 2: first save, 3: full save not 102, 4: earlier file "
                          "changed, 5: temporary file left, 6: delete, 7: save after freeing";
}

// Every truncation and a byte patch at every offset of a small saved file, and a sample of both
// for a large one, loads and opens exactly as the reference model reads it: 101, false or a
// clean engine code, never a crash.
TEST_F(IoFaultTest, EveryTruncationOfASavedFileLoadsAsTheModelPredicts) {
  auto op = [](Method method, int32_t a = 0, int32_t b = 0, int32_t c = 0) {
    Operation operation;
    operation.method = method;
    operation.a = a;
    operation.b = b;
    operation.c = c;
    return operation;
  };
  auto withText = [](Operation operation, std::string s1, std::string s2 = std::string()) {
    operation.s1 = std::move(s1);
    operation.s2 = std::move(s2);
    return operation;
  };
  const char* longRun = getenv("VELMORA_LONG");
  const bool thorough = longRun != nullptr && *longRun != '\0' && *longRun != '0';
  const int sample = thorough ? 150 : 30;  // offsets per kind for the large file
  for (const int records : {3, thorough ? 8000 : 2000}) {
    SCOPED_TRACE(std::to_string(records) + " records");
    const std::string work = dir.file("run" + std::to_string(records));
    resetDirectory(work);
    OperationRunner runner(createObject, work);
    std::vector<Operation> build = {
        withText(op(Method::CreateDatabase, 1), "name & <more>"),
        op(Method::CreateTemporaryTable),
        withText(op(Method::AddField, 1), "title"),
        withText(op(Method::AddField, 2), "size"),
        withText(op(Method::AddRelationField), "parent", "dept"),
        withText(op(Method::CreateTable), "dept"),
        op(Method::CreateTemporaryTable),
        withText(op(Method::AddRelationField), "person", "dept"),
        withText(op(Method::AddField, 0), "age"),
        withText(op(Method::CreateTable), "member"),
    };
    const char* const titles[] = {"root", " lead", "a]]>b", "x\r\ny", "&amp;", "\t"};
    for (int i = 0; i < records; ++i) {
      build.push_back(op(Method::ChooseTableAt, i % 2));
      if (i % 2 == 0) {
        build.push_back(withText(op(Method::SetStringAt, 0), titles[i % 6]));
        build.push_back(op(Method::SetLongAt, 1, -2147483647 + i));
        build.push_back(op(Method::SetRelationAt, 2, i / 4));
      } else {
        build.push_back(op(Method::SetRelationAt, 0, i / 3));
        build.push_back(op(Method::SetIntAt, 1, i * 1000));
      }
      build.push_back(op(Method::AddRecord, -1));
    }
    build.push_back(op(Method::DeleteRecordAt, 1, 1));
    build.push_back(op(Method::Save, 0));
    build.push_back(op(Method::SaveWithSchema, 1));
    for (const Operation& step : build) ASSERT_EQ(runner.step(step), "");
    const int descriptors = countOpenDescriptors();
    // Each damaged copy is read by Load and by Open: the file without a schema, then the one
    // with it, whose damage inside the schema Open alone reads.
    for (const int file : {0, 1}) {
      const std::optional<std::string> saved = runner.getModel().fileContent(file);
      ASSERT_TRUE(saved.has_value());
      const int size = static_cast<int>(saved->size());
      std::vector<Operation> damages;
      if (records < 100) {
        for (int n = 0; n <= size; ++n) damages.push_back(op(Method::TruncateFile, file, n));
      } else {
        for (int n = 0; n < sample; ++n) {
          damages.push_back(op(Method::TruncateFile, file, n));
          damages.push_back(op(Method::TruncateFile, file, size - n));
          damages.push_back(op(Method::TruncateFile, file, static_cast<int>((n * 7919LL) % size)));
        }
      }
      static const int kPatches[] = {'<', '>', '/', '!', '-', ' ', 'a', '&', 0, 0xFF};
      for (int n = 0; n < (records < 100 ? size : sample * 2); ++n) {
        const int offset = records < 100 ? n : static_cast<int>((n * 104729LL) % size);
        damages.push_back(op(Method::PatchFile, file, offset, kPatches[n % 10]));
      }
      for (const Operation& damage : damages) {
        SCOPED_TRACE(describe(damage));
        ASSERT_EQ(runner.step(damage), "");
        ASSERT_EQ(runner.step(op(Method::Load, kScratchFileSlot)), "");
        ASSERT_EQ(runner.step(op(Method::Open, kScratchFileSlot)), "");
      }
      printf("[ reliability ] a %d-byte file: %zu damaged copies loaded and opened as predicted\n",
             size, damages.size());
    }
    EXPECT_EQ(countOpenDescriptors(), descriptors);
    ASSERT_EQ(runner.step(op(Method::Load, 0)), "");
    EXPECT_EQ(runner.compareState(), "");
  }
}
