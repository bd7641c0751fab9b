#include <errno.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Registry.h"
#include "tests/platform/ScopedEnvironment.h"
#include "tests/support/FaultInjectingFileEnv.h"
#include "tests/support/TempDir.h"

using namespace velmora;

namespace {

class RegistryTest : public TempDirTest {
 protected:
  std::string registryPath() const { return dir.file("registry.reg"); }
  std::string registryText() const { return readFileBytes(registryPath()); }

  ScopedEnvironment registryVariable{"VELMORA_REGISTRY", dir.file("registry.reg")};
};

using WriteCall = std::function<ssize_t(int, const void*, size_t)>;
using SyncCall = std::function<int(int)>;
using RenameCall = std::function<int(const char*, const char*)>;

// An environment with the given write, sync and rename calls (null: the real one).
FaultInjectingFileEnv injecting(WriteCall write, SyncCall sync, RenameCall rename) {
  FaultInjectingFileEnv env;
  if (write) env.calls.write = std::move(write);
  if (sync) env.calls.sync = std::move(sync);
  if (rename) env.calls.rename = std::move(rename);
  return env;
}

const char kUnrelatedText[] =
    "REGEDIT4\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Other]\n"
    "\"Name\"=\"kept \\\"as\\\" is\"\n"
    "\"Count\"=dword:0000002a\n"
    "\"Blob\"=hex:01,02,\\\n"
    "  03\n"
    "\n"
    "[HKEY_CLASSES_ROOT\\.other]\n"
    "@=\"other file type\"\n"
    "\n";

}  // namespace

TEST_F(RegistryTest, SetsReadsReplacesAndDeletesDefaultValues) {
  std::string value;
  EXPECT_FALSE(registryGetDefaultValue("clsid\\{A}", value));  // no file yet
  ASSERT_TRUE(registrySetDefaultValue("clsid\\{A}", "first"));
  ASSERT_TRUE(registrySetDefaultValue("clsid\\{A}\\InprocServer32", "/lib/a.so"));
  ASSERT_TRUE(registrySetDefaultValue("clsid\\{A}", "second"));
  EXPECT_EQ(registryText(),
            "REGEDIT4\n\n"
            "[HKEY_CLASSES_ROOT\\clsid\\{A}]\n@=\"second\"\n\n"
            "[HKEY_CLASSES_ROOT\\clsid\\{A}\\InprocServer32]\n@=\"/lib/a.so\"\n\n");
  ASSERT_TRUE(registryGetDefaultValue("clsid\\{A}", value));
  EXPECT_EQ(value, "second");

  // A single key goes; its subkey is a key of its own and stays.
  std::string why;
  EXPECT_TRUE(registryDeleteKey("clsid\\{A}", &why)) << why;
  EXPECT_FALSE(registryGetDefaultValue("clsid\\{A}", value));
  EXPECT_TRUE(registryGetDefaultValue("clsid\\{A}\\InprocServer32", value));
  EXPECT_FALSE(registryDeleteKey("clsid\\{A}", &why));
  EXPECT_NE(why.find("does not exist"), std::string::npos) << why;
  EXPECT_EQ(listDirectory(dir.path()),
            (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

TEST_F(RegistryTest, KeyNamesIgnoreCaseAndKeepTheirFirstSpelling) {
  ASSERT_TRUE(registrySetDefaultValue("clsid\\{ab}\\InprocServer32", "one"));
  ASSERT_TRUE(registrySetDefaultValue("CLSID\\{AB}\\inprocserver32", "two"));
  std::string value;
  ASSERT_TRUE(registryGetDefaultValue("ClSiD\\{aB}\\INPROCSERVER32", value));
  EXPECT_EQ(value, "two");
  EXPECT_EQ(registryText(),
            "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\clsid\\{ab}\\InprocServer32]\n@=\"two\"\n\n");
  EXPECT_TRUE(registryDeleteKey("CLSID\\{AB}\\INPROCSERVER32"));
  EXPECT_EQ(registryText(), "REGEDIT4\n\n");
}

TEST_F(RegistryTest, ValuesWithQuotesAndBackslashesRoundTrip) {
  const struct {
    std::string value;
    std::string written;
  } cases[] = {
      {"C:\\dir\\\"quoted\"", "@=\"C:\\\\dir\\\\\\\"quoted\\\"\""},
      {"ends in backslash\\", "@=\"ends in backslash\\\\\""},
      {"\"", "@=\"\\\"\""},
      {"", "@=\"\""},
      {"  spaces, tab\t and bytes \x80\xFF ", "@=\"  spaces, tab\t and bytes \x80\xFF \""},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(registrySetDefaultValue("Escapes", c.value));
    EXPECT_NE(registryText().find("\n" + c.written + "\n"), std::string::npos) << registryText();
    std::string value;
    ASSERT_TRUE(registryGetDefaultValue("escapes", value));
    EXPECT_EQ(value, c.value);
  }
}

TEST_F(RegistryTest, UnrelatedKeysAndValuesAreKeptInOrder) {
  writeFileBytes(registryPath(), kUnrelatedText);
  ASSERT_TRUE(registrySetDefaultValue("clsid\\{B}", "mine"));
  EXPECT_EQ(registryText(),
            std::string(kUnrelatedText) + "[HKEY_CLASSES_ROOT\\clsid\\{B}]\n@=\"mine\"\n\n");
  ASSERT_TRUE(registryDeleteKey("clsid\\{B}"));
  EXPECT_EQ(registryText(), kUnrelatedText);
  std::string value;
  ASSERT_TRUE(registryGetDefaultValue(".OTHER", value));
  EXPECT_EQ(value, "other file type");
}

TEST_F(RegistryTest, MalformedFileIsReportedAndLeftAsItWas) {
  const std::string malformed = "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n@=\"unterminated\n";
  writeFileBytes(registryPath(), malformed);
  std::string why;
  EXPECT_FALSE(registrySetDefaultValue("B", "value", &why));
  EXPECT_NE(why.find("malformed"), std::string::npos) << why;
  EXPECT_NE(why.find("line 4"), std::string::npos) << why;
  EXPECT_NE(why.find(registryPath()), std::string::npos) << why;
  EXPECT_FALSE(registryDeleteKey("A", &why));
  EXPECT_NE(why.find("malformed"), std::string::npos) << why;
  std::string value;
  EXPECT_EQ(registryLookupDefaultValue("A", value, &why), RegistryLookup::Failed);
  EXPECT_FALSE(registryCheckFile(&why));
  EXPECT_EQ(registryText(), malformed);
  EXPECT_EQ(listDirectory(dir.path()),
            (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

TEST_F(RegistryTest, UnusableKeysAndValuesChangeNothing) {
  const std::string keys[] = {"",
                              "\\A",
                              "A\\",
                              "A\\\\B",
                              "A\nB",
                              "A\x1B"
                              "B"};
  for (const std::string& key : keys) {
    std::string why;
    EXPECT_FALSE(registrySetDefaultValue(key, "value", &why)) << key;
    EXPECT_FALSE(why.empty()) << key;
    EXPECT_FALSE(registryDeleteKey(key)) << key;
  }
  const std::string values[] = {"a\nb", "a\rb", std::string("a\0b", 3)};
  for (const std::string& value : values) {
    std::string why;
    EXPECT_FALSE(registrySetDefaultValue("A", value, &why));
    EXPECT_NE(why.find("line breaks"), std::string::npos) << why;
  }
  EXPECT_TRUE(listDirectory(dir.path()).empty());
}

TEST_F(RegistryTest, CreatesMissingDirectoriesButDeletesCreateNothing) {
  const std::string nested = dir.file("a/b/c/registry.reg");
  ScopedEnvironment variable("VELMORA_REGISTRY", nested);
  EXPECT_FALSE(registryDeleteKey("A"));
  EXPECT_TRUE(listDirectory(dir.path()).empty());
  std::string why;
  ASSERT_TRUE(registrySetDefaultValue("A", "value", &why)) << why;
  EXPECT_EQ(readFileBytes(nested), "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n@=\"value\"\n\n");

  writeFileBytes(dir.file("file"), "");
  ScopedEnvironment blocked("VELMORA_REGISTRY", dir.file("file/registry.reg"));
  EXPECT_FALSE(registrySetDefaultValue("A", "value", &why));
  EXPECT_NE(why.find("file"), std::string::npos) << why;
}

TEST_F(RegistryTest, LocationComesFromTheEnvironment) {
  const struct {
    std::optional<std::string> registry;
    std::optional<std::string> xdgConfig;
    std::string expected;
  } cases[] = {
      {"/r/explicit.reg", "/xdg", "/r/explicit.reg"},
      {"", "/xdg", "/xdg/velmora/registry.reg"},
      {std::nullopt, "/xdg", "/xdg/velmora/registry.reg"},
      {std::nullopt, "", "/home/user/.config/velmora/registry.reg"},
      {std::nullopt, "relative/xdg", "/home/user/.config/velmora/registry.reg"},
      {std::nullopt, std::nullopt, "/home/user/.config/velmora/registry.reg"},
  };
  ScopedEnvironment home("HOME", "/home/user");
  for (const auto& c : cases) {
    ScopedEnvironment registry("VELMORA_REGISTRY", c.registry);
    ScopedEnvironment xdg("XDG_CONFIG_HOME", c.xdgConfig);
    EXPECT_EQ(registryFilePath(), c.expected);
  }
}

// File failures while replacing the registry: the old file stays byte for byte, no temporary file
// is left, and the reason names the step.
TEST_F(RegistryTest, FailedUpdateKeepsTheOldFile) {
  const struct {
    WriteCall write;
    SyncCall sync;
    RenameCall rename;
    const char* step;
  } cases[] = {
      {[](int, const void*, size_t) -> ssize_t {
         errno = ENOSPC;
         return -1;
       },
       nullptr, nullptr, "cannot write"},
      {[](int, const void*, size_t) -> ssize_t { return 0; }, nullptr, nullptr, "cannot write"},
      {nullptr,
       [](int) {
         errno = EIO;
         return -1;
       },
       nullptr, "cannot flush"},
      {nullptr, nullptr,
       [](const char*, const char*) {
         errno = EXDEV;
         return -1;
       },
       "cannot replace"},
  };
  ASSERT_TRUE(registrySetDefaultValue("A", "old"));
  const std::string before = registryText();
  for (const auto& c : cases) {
    FaultInjectingFileEnv env = injecting(c.write, c.sync, c.rename);
    std::string why;
    EXPECT_FALSE(registrySetDefaultValue("A", "new", &why, env));
    EXPECT_NE(why.find(c.step), std::string::npos) << why;
    EXPECT_EQ(registryText(), before);
    EXPECT_EQ(listDirectory(dir.path()),
              (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
  }
}

TEST_F(RegistryTest, ShortWritesStillWriteEverything) {
  FaultInjectingFileEnv env = injecting(
      [](int fd, const void* data, size_t size) { return write(fd, data, size < 3 ? size : 3); },
      nullptr, nullptr);
  ASSERT_TRUE(registrySetDefaultValue("Key", "a value longer than three bytes", nullptr, env));
  EXPECT_EQ(registryText(),
            "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Key]\n@=\"a value longer than three bytes\"\n\n");
}

TEST_F(RegistryTest, UpdateKeepsTheFilePermissions) {
  ASSERT_TRUE(registrySetDefaultValue("A", "old"));
  ASSERT_EQ(chmod(registryPath().c_str(), 0640), 0);
  ASSERT_TRUE(registrySetDefaultValue("A", "new"));
  struct stat status {};
  ASSERT_EQ(stat(registryPath().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
}

// Two processes updating at the same moment, many times over: every key each of them wrote is
// there at the end, and so is what was in the file before.
TEST_F(RegistryTest, ConcurrentProcessesLoseNoUpdate) {
  constexpr int kRounds = 10;
  constexpr int kKeysPerProcess = 10;
  writeFileBytes(registryPath(), kUnrelatedText);
  for (int round = 0; round < kRounds; ++round) {
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    pid_t children[2];
    for (int child = 0; child < 2; ++child) {
      children[child] = fork();
      ASSERT_GE(children[child], 0);
      if (children[child] == 0) {
        close(gate[1]);
        char byte;
        while (read(gate[0], &byte, 1) > 0) {
        }  // both start when the gate closes
        bool ok = true;
        for (int k = 0; k < kKeysPerProcess; ++k) {
          const std::string key = "Round" + std::to_string(round) + "\\Child" +
                                  std::to_string(child) + "\\Key" + std::to_string(k);
          ok = registrySetDefaultValue(key, key) && ok;
        }
        _exit(ok ? 0 : 1);
      }
    }
    close(gate[0]);
    close(gate[1]);
    for (pid_t child : children) {
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
  }
  const std::string text = registryText();
  EXPECT_EQ(text.compare(0, sizeof kUnrelatedText - 1, kUnrelatedText), 0);
  for (int round = 0; round < kRounds; ++round) {
    for (int child = 0; child < 2; ++child) {
      for (int k = 0; k < kKeysPerProcess; ++k) {
        const std::string key = "Round" + std::to_string(round) + "\\Child" +
                                std::to_string(child) + "\\Key" + std::to_string(k);
        std::string value;
        EXPECT_TRUE(registryGetDefaultValue(key, value)) << key;
        EXPECT_EQ(value, key);
      }
    }
  }
}
