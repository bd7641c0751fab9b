// Saving onto symbolic links and special files, and the names a save refuses to write.
#include <errno.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/Errors.h"
#include "tests/support/TempDir.h"
#include "tests/support/WinCode.h"
#include "tests/xml/XmlTestSupport.h"
#include "xml/NameRule.h"
#include "xml/Persistence.h"

using namespace velmora;

namespace {

class SaveTargetTest : public TempDirTest {
 protected:
  SaveTargetTest() { addEmployee(addEmployeeTable(database), "john", "doe", 12); }

  std::string saved() {  // the bytes this database saves as, through a plain file
    const std::string path = dir.file("plain.xml");
    saveDatabase(database, path);
    std::string bytes = readFileBytes(path);
    ::unlink(path.c_str());
    return bytes;
  }

  Database database{"my database", 1};
};

struct stat lstatOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
  return status;
}

std::string linkText(const std::string& path) {
  char buffer[4096];
  const ssize_t length = ::readlink(path.c_str(), buffer, sizeof buffer);
  return length < 0 ? "" : std::string(buffer, static_cast<size_t>(length));
}

}  // namespace

// Saving onto a node replaced it with a regular file; as root, "/dev/null" would have gone (#14).
TEST_F(SaveTargetTest, SpecialFilesAreRefusedAndLeftAsTheyWere) {
  const std::string node = dir.file("node");
  const auto makeSocket = [&] {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    strncpy(address.sun_path, node.c_str(), sizeof address.sun_path - 1);
    const int bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::close(fd);
    return bound;
  };
  struct Case {
    const char* kind;
    std::function<int()> make;
    mode_t type;
  } cases[] = {
      {"character device", [&] { return ::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)); },
       S_IFCHR},
      {"FIFO", [&] { return ::mkfifo(node.c_str(), 0666); }, S_IFIFO},
      {"socket", makeSocket, S_IFSOCK},
      {"folder", [&] { return ::mkdir(node.c_str(), 0755); }, S_IFDIR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    if (c.make() != 0) {
      ASSERT_EQ(errno, EPERM) << strerror(errno);  // mknod needs privileges
      continue;
    }
    const struct stat before = lstatOf(node);
    EXPECT_WIN_CODE(saveDatabase(database, node), 102);
    const std::string link = dir.file("link");  // the same through a link
    ASSERT_EQ(::symlink("node", link.c_str()), 0);
    EXPECT_WIN_CODE(saveDatabase(database, link), 102);
    const struct stat after = lstatOf(node);
    EXPECT_EQ(after.st_mode & S_IFMT, c.type);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_rdev, before.st_rdev);
    EXPECT_EQ(listDirectory(dir.path()), (std::vector<std::string>{"link", "node"}));
    ::unlink(link.c_str());
    if (::unlink(node.c_str()) != 0) ::rmdir(node.c_str());
  }
}

// Saving through a link replaced the link with a regular file (#14).
TEST_F(SaveTargetTest, SavesThroughLinksAndKeepsThem) {
  const std::string bytes = saved();
  ASSERT_EQ(::mkdir(dir.file("real").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(dir.file("links").c_str(), 0755), 0);
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // link, text
    const char* target;                                      // nullptr: refused with 102
  } cases[] = {
      {"absolute", {{"links/a", dir.file("real/t.xml")}}, "real/t.xml"},
      {"relative to the link's folder", {{"links/a", "../real/t.xml"}}, "real/t.xml"},
      {"chain", {{"links/a", "b"}, {"links/b", dir.file("real/t.xml")}}, "real/t.xml"},
      {"dangling", {{"links/a", "../real/new.xml"}}, "real/new.xml"},
      {"loop", {{"links/a", "b"}, {"links/b", "a"}}, nullptr},
      {"self", {{"links/a", "a"}}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeFileBytes(dir.file("real/t.xml"), "old");
    for (const auto& [link, text] : c.links)
      ASSERT_EQ(::symlink(text.c_str(), dir.file(link).c_str()), 0);
    if (c.target == nullptr) {
      EXPECT_WIN_CODE(saveDatabase(database, dir.file("links/a")), 102);
      EXPECT_EQ(readFileBytes(dir.file("real/t.xml")), "old");
    } else {
      EXPECT_TRUE(saveDatabase(database, dir.file("links/a")));
      EXPECT_EQ(readFileBytes(dir.file(c.target)), bytes);
    }
    for (const auto& [link, text] : c.links) {
      EXPECT_TRUE(S_ISLNK(lstatOf(dir.file(link)).st_mode));
      EXPECT_EQ(linkText(dir.file(link)), text);
      ::unlink(dir.file(link).c_str());
    }
    EXPECT_EQ(listDirectory(dir.file("links")), std::vector<std::string>{});
    ::unlink(dir.file("real/new.xml").c_str());
    EXPECT_EQ(listDirectory(dir.file("real")), std::vector<std::string>{"t.xml"});
  }
}

// A table named so that its tag closed early planted records in another table (#14).
TEST_F(SaveTargetTest, NamesThatWouldBecomeMarkupAreRefusedBeforeTheFileIsTouched) {
  const std::string path = dir.file("saved.xml");
  const char* const refused[] = {
      "",    "<",
      ">",   "/",
      "a<b", "ab>",
      "a/b", "/a",
      "a/",  "!a",
      "?a",  "!",
      "?",   "x/><employee><record><name>injected</name></record></employee><x"};
  for (const char* name : refused) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(isWritableName(name));
    for (const bool asField : {false, true}) {
      writeFileBytes(path, "earlier");
      Database named("d", 1);
      addEmployeeTable(named);
      if (asField) {
        addTable(named, "t", {{"ok", FieldType::Int}, {name, FieldType::String}});
      } else {
        addTable(named, name, {{"ok", FieldType::Int}});  // no records: a name alone is enough
      }
      EXPECT_WIN_CODE(saveDatabase(named, path), 16);
      EXPECT_EQ(readFileBytes(path), "earlier");
      EXPECT_EQ(listDirectory(dir.path()), std::vector<std::string>{"saved.xml"});
    }
  }
  // Blanks, '!' or '?' after the start, other bytes: written as before. A deleted table's name
  // is never written, so it does not count.
  for (const char* name : {"a b", " a", "a!", "a?b", "\xc3\xa9t\xc3\xa9", "a&b", "record"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(isWritableName(name));
    Database named("d", 1);
    addTable(named, name, {{name, FieldType::Int}});
    named.deleteTable(addTable(named, "/gone", {{"", FieldType::Int}}).getIndex());
    EXPECT_TRUE(saveDatabase(named, path));
    EXPECT_NE(readFileBytes(path).find("<data><" + std::string(name) + "/></data>"),
              std::string::npos);
  }
  EXPECT_TRUE(saveDatabase(database, path));  // the sample's names
}
