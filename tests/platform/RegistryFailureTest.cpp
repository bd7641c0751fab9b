// The registry's less travelled roads: where it is found without HOME, lookups of keys without a
// usable default value, and files, locks and temporary names that cannot be used.
#include <limits.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Registry.h"
#include "tests/platform/ScopedEnvironment.h"
#include "tests/support/TempDir.h"

using namespace velmora;

namespace {

class RegistryFailureTest : public TempDirTest {
 protected:
  std::string registryPath() const { return dir.file("registry.reg"); }
};

}  // namespace

// Without VELMORA_REGISTRY, XDG_CONFIG_HOME (or with a relative one) and HOME, the registry is
// found under the home directory of the user database.
TEST_F(RegistryFailureTest, LocationFallsBackToTheUserDatabaseWithoutHome) {
  ScopedEnvironment registry("VELMORA_REGISTRY", std::nullopt);
  ScopedEnvironment xdg("XDG_CONFIG_HOME", std::string("relative/ignored"));
  ScopedEnvironment home("HOME", std::nullopt);
  const passwd* user = getpwuid(getuid());
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(registryFilePath(), std::string(user->pw_dir) + "/.config/velmora/registry.reg");
}

// A key without a default value, or with one that is not text, is absent; a file that cannot be
// read as a registry is a failure, reported with its reason.
TEST_F(RegistryFailureTest, LookupsTellAbsentValuesFromUnreadableFiles) {
  ScopedEnvironment registry("VELMORA_REGISTRY", registryPath());
  writeFileBytes(registryPath(),
                 "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\named]\n\"Other\"=\"x\"\n\n"
                 "[HKEY_CLASSES_ROOT\\number]\n@=dword:00000001\n\n");
  std::string value = "untouched";
  std::string why;
  EXPECT_EQ(registryLookupDefaultValue("named", value, &why), RegistryLookup::Absent);
  EXPECT_NE(why.find("no default text value"), std::string::npos) << why;
  EXPECT_EQ(registryLookupDefaultValue("number", value, &why), RegistryLookup::Absent);
  EXPECT_EQ(value, "untouched");

  struct Case {
    const char* what;
    std::function<std::string()> prepare;  // returns the registry path to use
    const char* reason;
  } const cases[] = {
      {"a directory",
       [&] {
         std::filesystem::create_directory(dir.file("folder.reg"));
         return dir.file("folder.reg");
       },
       "not a regular file"},
      {"a path through a file",
       [&] {
         writeFileBytes(dir.file("plain"), "x");
         return dir.file("plain") + "/registry.reg";
       },
       "open registry file"},
      {"a file larger than any registry",
       [&] {
         const std::string path = dir.file("huge.reg");
         writeFileBytes(path, "REGEDIT4\n\n");
         std::filesystem::resize_file(path, 17u << 20);  // sparse
         return path;
       },
       "too large"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedEnvironment elsewhere("VELMORA_REGISTRY", c.prepare());
    why.clear();
    EXPECT_EQ(registryLookupDefaultValue("named", value, &why), RegistryLookup::Failed);
    EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    why.clear();
    EXPECT_FALSE(registryCheckFile(&why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(registrySetDefaultValue("named", "new"));
  }
}

// An update whose lock file cannot be opened, or whose temporary file cannot be created (here:
// its name would be too long), fails and leaves the registry and its directory as they were.
TEST_F(RegistryFailureTest, UpdatesThatCannotLockOrCreateTheTemporaryFileChangeNothing) {
  {
    ScopedEnvironment registry("VELMORA_REGISTRY", registryPath());
    ASSERT_TRUE(registrySetDefaultValue("kept", "value"));
    const std::string before = readFileBytes(registryPath());
    std::filesystem::remove(registryPath() + ".lock");
    std::filesystem::create_directory(registryPath() + ".lock");
    std::string why;
    EXPECT_FALSE(registrySetDefaultValue("other", "value", &why));
    EXPECT_NE(why.find("lock"), std::string::npos) << why;
    EXPECT_FALSE(registryDeleteKey("kept"));
    EXPECT_EQ(readFileBytes(registryPath()), before);
  }
  // A name that leaves room for ".lock" but not for the temporary name's suffix.
  const std::string longName = dir.file(std::string(NAME_MAX - 9, 'r') + ".reg");
  ScopedEnvironment registry("VELMORA_REGISTRY", longName);
  const std::vector<std::string> before = listDirectory(dir.path());
  std::string why;
  EXPECT_FALSE(registrySetDefaultValue("key", "value", &why));
  EXPECT_NE(why.find("create temporary file"), std::string::npos) << why;
  std::vector<std::string> after = listDirectory(dir.path());
  after.erase(std::remove(after.begin(), after.end(),
                          std::filesystem::path(longName + ".lock").filename().string()),
              after.end());
  EXPECT_EQ(after, before);
}
