#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/FaultInjectingFileEnv.h"
#include "tests/support/TempDir.h"
#include "tests/support/WinCode.h"
#include "tests/xml/XmlTestSupport.h"
#include "xml/InputFile.h"
#include "xml/Persistence.h"

using namespace velmora;

namespace {

// The message of the failure that opening path throws, or "" when none.
std::string failureOf(FileEnv& env, const std::string& path) {
  try {
    InputFile file(env, path);
  } catch (const Win::Exception& e) {
    EXPECT_EQ(e.getCode(), 0);
    return e.getMessage();
  }
  return "";
}

class InputFileTest : public TempDirTest {
 protected:
  FaultInjectingFileEnv env;
  std::string failureOf(const std::string& path) { return ::failureOf(env, path); }
};

TEST_F(InputFileTest, EachFailureHasItsMessageAndLeavesNoDescriptor) {
  writeFileBytes(dir.file("empty"), "");
  writeFileBytes(dir.file("file"), "<a/>");
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  const struct {
    std::string path;
    std::function<void(FaultInjectingFileEnv::Calls&)> inject;
    const char* message;
  } cases[] = {
      {dir.file("missing"), nullptr, "unable to open file"},
      {dir.file("empty"), nullptr, "unable to map the file"},
      {dir.path(), nullptr, "unable to map the file"},
      {dir.file("fifo"), nullptr, "unable to map the file"},  // and does not hang
      {dir.file("file"),
       [](FaultInjectingFileEnv::Calls& fs) {
         fs.fstat = [](int, struct stat*) { return errno = EIO, -1; };
       },
       "unable to get the file size"},
  };
  for (const auto& c : cases) {
    if (c.inject) c.inject(env.calls);
    const int before = countOpenDescriptors();
    EXPECT_EQ(failureOf(c.path), c.message) << c.path;
    EXPECT_EQ(countOpenDescriptors(), before) << c.path;
    env.calls = FaultInjectingFileEnv::realCalls();
  }
}

TEST_F(InputFileTest, FileHeldByAnotherOpenerCannotBeOpened) {
  writeFileBytes(dir.file("in"), "<a/>");
  {
    InputFile holder(env, dir.file("in"));
    EXPECT_EQ(failureOf(dir.file("in")), "unable to open file");
  }
  const int other = open(dir.file("in").c_str(), O_RDONLY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX), 0);
  EXPECT_EQ(failureOf(dir.file("in")), "unable to open file");
  close(other);
  EXPECT_EQ(failureOf(dir.file("in")), "");  // free again once the other opener is gone
}

TEST_F(InputFileTest, FileOfFourGibibytesIsRefusedNotTruncated) {
  // Sparse: the size is there without the blocks.
  const int created = open(dir.file("huge").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(created, 0);
  const bool sized = ftruncate(created, off_t{1} << 32) == 0;
  close(created);
  if (!sized) GTEST_SKIP() << "this file system cannot hold a sparse 4 GiB file";
  EXPECT_EQ(failureOf(dir.file("huge")), "unable to get the file size");
  Database database("d", 1);
  EXPECT_WIN_CODE(loadDatabase(database, dir.file("huge")), 101);
}

// A read that fails part way (or is interrupted) is a failed load, or no failure at all.
TEST_F(InputFileTest, ReadFailuresFailTheLoadAndInterruptionsAreRetried) {
  std::string content = kDocumentHead + "<data><employee>";
  for (int i = 0; i < 2000; ++i) content += "<record><age>1</age></record>";
  content += "</employee></data></database>";
  writeFileBytes(dir.file("in"), content);
  static int calls;
  for (const int error : {EIO, EINTR}) {
    static int injected;
    injected = error;
    calls = 0;
    env.calls.pread = [](int descriptor, void* bytes, size_t count, off_t offset) {
      if (++calls == 2) return errno = injected, ssize_t{-1};
      return pread(descriptor, bytes, count, offset);
    };
    Database database("d", 1);
    addEmployeeTable(database);
    if (error == EINTR) {
      EXPECT_TRUE(loadDatabase(database, dir.file("in"), env));
      EXPECT_EQ(database.tableByName("employee").getRecordCount(), 2000);
    } else {
      EXPECT_WIN_CODE(loadDatabase(database, dir.file("in"), env), 101);
      EXPECT_EQ(database.tableByName("employee").getRecordCount(), 0);
    }
  }
}

}  // namespace
