#include <errno.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/FaultInjectingFileEnv.h"
#include "tests/support/TempDir.h"
#include "tests/support/WinCode.h"
#include "tests/support/xmltree/XmlNode.h"
#include "tests/support/xmltree/XmlTreeWriter.h"
#include "tests/xml/XmlTestSupport.h"
#include "xml/Persistence.h"

using namespace velmora;

namespace {

class AtomicSaveTest : public TempDirTest {
 protected:
  AtomicSaveTest() {
    Table& table = addEmployeeTable(database);
    for (int r = 0; r < 2000; ++r) addEmployee(table, "name " + std::to_string(r), "s", r);
  }

  Database database{"my database", 1};
  FaultInjectingFileEnv env;
};

// Issue 3: a save that fails at any step reports 102, keeps the old file and removes its
// temporary file.
TEST_F(AtomicSaveTest, FailedSaveKeepsTheOldFileAndLeavesNoTemporaryFile) {
  const struct {
    const char* step;
    std::function<void(FaultInjectingFileEnv::Calls&)> inject;
  } cases[] = {
      {"create",
       [](FaultInjectingFileEnv::Calls& fs) {
         fs.open = [](const char*, int, mode_t) { return errno = ENOSPC, -1; };
       }},
      {"write",
       [](FaultInjectingFileEnv::Calls& fs) {
         fs.write = [](int, const void*, size_t) -> ssize_t { return errno = ENOSPC, -1; };
       }},
      {"write nothing",
       [](FaultInjectingFileEnv::Calls& fs) {
         fs.write = [](int, const void*, size_t) -> ssize_t { return 0; };
       }},
      {"fsync",
       [](FaultInjectingFileEnv::Calls& fs) { fs.sync = [](int) { return errno = EIO, -1; }; }},
      {"close",
       [](FaultInjectingFileEnv::Calls& fs) {
         fs.close = [](int descriptor) {
           ::close(descriptor);
           return errno = EIO, -1;
         };
       }},
      {"rename",
       [](FaultInjectingFileEnv::Calls& fs) {
         fs.rename = [](const char*, const char*) { return errno = EXDEV, -1; };
       }},
      {"permissions",
       [](FaultInjectingFileEnv::Calls& fs) {
         fs.chmod = [](int, mode_t) { return errno = EPERM, -1; };
       }},
  };
  const std::string path = dir.file("db.xml");
  writeFileBytes(path, "old content");
  for (const auto& c : cases) {
    const int before = countOpenDescriptors();
    c.inject(env.calls);
    SCOPED_TRACE(c.step);
    EXPECT_WIN_CODE(saveDatabase(database, path, env), 102);
    env.calls = FaultInjectingFileEnv::realCalls();
    EXPECT_EQ(readFileBytes(path), "old content");
    EXPECT_EQ(listDirectory(dir.path()), std::vector<std::string>{"db.xml"});
    EXPECT_EQ(countOpenDescriptors(), before);
  }
}

TEST_F(AtomicSaveTest, ShortWritesStillWriteEverything) {
  env.calls.write = [](int descriptor, const void* bytes, size_t count) {
    if (count > 1000) count = 1000;
    return ::write(descriptor, bytes, count);
  };
  std::string expected;
  writeXml(buildXmlDocument(database, "").get(), expected);
  ASSERT_TRUE(saveDatabase(database, dir.file("db.xml"), env));
  EXPECT_EQ(readFileBytes(dir.file("db.xml")), expected);
}

TEST_F(AtomicSaveTest, UnwritablePathsFailWith102AndLeaveNoFile) {
  EXPECT_WIN_CODE(saveDatabase(database, dir.file("no/such/dir/db.xml")), 102);
  ASSERT_EQ(mkdir(dir.file("target").c_str(), 0700), 0);
  EXPECT_WIN_CODE(saveDatabase(database, dir.file("target")), 102);  // cannot replace a directory
  EXPECT_EQ(listDirectory(dir.path()), std::vector<std::string>{"target"});
}

TEST_F(AtomicSaveTest, ReplacedFileKeepsItsPermissions) {
  const std::string path = dir.file("db.xml");
  writeFileBytes(path, "old");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(saveDatabase(database, path));
  struct stat status;
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
}

// A real write failure: the file size limit stops the write part way, in a child process.
TEST_F(AtomicSaveTest, FileSizeLimitDuringWriteKeepsTheOldFile) {
  const std::string path = dir.file("db.xml");
  writeFileBytes(path, "old content");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    try {
      saveDatabase(database, path);
    } catch (const Win::Exception& e) {
      _exit(e.getCode() == 102 ? 0 : 2);
    }
    _exit(1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readFileBytes(path), "old content");
  EXPECT_EQ(listDirectory(dir.path()), std::vector<std::string>{"db.xml"});
}

}  // namespace
