#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/FaultInjectingFileEnv.h"
#include "tests/support/TempDir.h"
#include "tests/support/WinCode.h"
#include "tests/xml/XmlTestSupport.h"
#include "xml/MappedFile.h"
#include "xml/Persistence.h"

using namespace velmora;

namespace {

// The message of the failure that constructing a MappedFile of path throws, or "" when none.
std::string failureOf(FileEnv& env, const std::string& path) {
  try {
    MappedFile file(env, path);
  } catch (const Win::Exception& e) {
    EXPECT_EQ(e.getCode(), 0);
    return e.getMessage();
  }
  return "";
}

class MappedFileTest : public TempDirTest {
 protected:
  FaultInjectingFileEnv env;
  std::string failureOf(const std::string& path) { return ::failureOf(env, path); }
};

TEST_F(MappedFileTest, ViewHoldsEveryByte) {
  const long pageSize = sysconf(_SC_PAGESIZE);
  for (const std::string& content :
       {std::string("x"), std::string(pageSize, 'p'), std::string("a\0b\xff", 4)}) {
    writeFileBytes(dir.file("in"), content);
    MappedFile file(env, dir.file("in"));
    ASSERT_EQ(file.getSize(), content.size());
    EXPECT_EQ(std::string(file.data(), content.size()), content);
  }
}

TEST_F(MappedFileTest, EachFailureHasItsMessageAndLeavesNoDescriptor) {
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
      {dir.file("file"),
       [](FaultInjectingFileEnv::Calls& fs) {
         fs.map = [](int, size_t) {
           errno = ENOMEM;
           return MAP_FAILED;
         };
       },
       "unable to map the view of the file"},
  };
  for (const auto& c : cases) {
    if (c.inject) c.inject(env.calls);
    const int before = countOpenDescriptors();
    EXPECT_EQ(failureOf(c.path), c.message) << c.path;
    EXPECT_EQ(countOpenDescriptors(), before) << c.path;
    env.calls = FaultInjectingFileEnv::realCalls();
  }
}

TEST_F(MappedFileTest, FileHeldByAnotherOpenerCannotBeOpened) {
  writeFileBytes(dir.file("in"), "<a/>");
  {
    MappedFile holder(env, dir.file("in"));
    EXPECT_EQ(failureOf(dir.file("in")), "unable to open file");
  }
  const int other = open(dir.file("in").c_str(), O_RDONLY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX), 0);
  EXPECT_EQ(failureOf(dir.file("in")), "unable to open file");
  close(other);
  EXPECT_EQ(failureOf(dir.file("in")), "");  // free again once the other opener is gone
}

TEST_F(MappedFileTest, FileOfFourGibibytesIsRefusedNotTruncated) {
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

TEST_F(MappedFileTest, ReleasesTheViewBeforeTheFile) {
  static std::string calls;
  calls.clear();
  FaultInjectingFileEnv::Calls& fs = env.calls;
  fs.unmap = [](void* address, size_t length) {
    calls += "unmap ";
    return munmap(address, length);
  };
  fs.close = [](int descriptor) {
    calls += "close ";
    return close(descriptor);
  };
  writeFileBytes(dir.file("in"), "<a/>");
  { MappedFile file(env, dir.file("in")); }
  EXPECT_EQ(calls, "unmap close ");
}

}  // namespace
