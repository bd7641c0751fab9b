// Trust in the registry file and the libraries it names, judged by owner and mode bits (CI runs
// as root, which access checks let through), and registry updates through links.
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "velmora/Identifiers.h"

#include "platform/ComRuntime.h"
#include "platform/Registry.h"
#include "platform/RegistryTrust.h"
#include "tests/platform/ScopedEnvironment.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TempDir.h"

using namespace velmora;

namespace {

const GUID kClassA = {
    0xFA4E0001u, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}};
const char kServerKeyA[] = "CLSID\\{FA4E0001-1234-5678-9ABC-DEF012345678}\\InprocServer32";
constexpr uid_t kOtherUser = 12345;

bool isLoaded(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

mode_t modeOf(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 ? status.st_mode : 0;
}

// A copy of a fake server that the test may chmod and chown.
std::string copyServer(const std::string& to) {
  std::filesystem::copy_file(FAKE_SERVER_A, to);
  ::chmod(to.c_str(), 0755);
  return to;
}

class RegistryTrustTest : public TempDirTest {};

}  // namespace

// A registry file anyone could write named a library that was loaded into every creator (#14).
TEST_F(RegistryTrustTest, CreationRefusesWhatOthersCouldChange) {
  struct Case {
    const char* name;
    bool changesOwner;
    // Given the case's folder and registry path, arranges the case and returns the library.
    std::function<std::string(const std::string&, const std::string&)> arrange;
    std::string reason;  // "" when the creation succeeds; "@" stands for the case's folder
  } cases[] = {
      {"registry file writable by others", false,
       [](const std::string&, const std::string& reg) {
         ::chmod(reg.c_str(), 0646);
         return std::string(FAKE_SERVER_A);
       },
       "the registry file @/reg/registry.reg is writable by group or others"},
      {"registry file writable by group", false,
       [](const std::string&, const std::string& reg) {
         ::chmod(reg.c_str(), 0664);
         return std::string(FAKE_SERVER_A);
       },
       "the registry file @/reg/registry.reg is writable by group or others"},
      {"folder writable by others", false,
       [](const std::string& folder, const std::string&) {
         ::chmod((folder + "/reg").c_str(), 0757);
         return std::string(FAKE_SERVER_A);
       },
       "the folder @/reg of the registry file @/reg/registry.reg is writable by group or others "
       "and not sticky"},
      {"sticky folder writable by all", false,
       [](const std::string& folder, const std::string&) {
         ::chmod((folder + "/reg").c_str(), 01777);
         return std::string(FAKE_SERVER_A);
       },
       ""},
      {"registry file of another user", true,
       [](const std::string&, const std::string& reg) {
         EXPECT_EQ(::chown(reg.c_str(), kOtherUser, -1), 0);
         return std::string(FAKE_SERVER_A);
       },
       "the registry file @/reg/registry.reg is owned by user 12345, neither the caller nor root"},
      {"folder of another user", true,
       [](const std::string& folder, const std::string&) {
         EXPECT_EQ(::chown((folder + "/reg").c_str(), kOtherUser, -1), 0);
         return std::string(FAKE_SERVER_A);
       },
       "the folder @/reg of the registry file @/reg/registry.reg is owned by user 12345, neither "
       "the caller nor root"},
      {"relative library path", false,
       [](const std::string&, const std::string&) { return std::string("libfake.so"); },
       "the server library path \"libfake.so\" is not absolute"},
      {"library writable by group or others", false,
       [](const std::string& folder, const std::string&) {
         const std::string library = copyServer(folder + "/lib.so");
         ::chmod(library.c_str(), 0775);
         return library;
       },
       "the server library @/lib.so is writable by group or others"},
      {"library of another user", true,
       [](const std::string& folder, const std::string&) {
         const std::string library = copyServer(folder + "/lib.so");
         EXPECT_EQ(::chown(library.c_str(), kOtherUser, -1), 0);
         return library;
       },
       "the server library @/lib.so is owned by user 12345, neither the caller nor root"},
  };
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.changesOwner && ::geteuid() != 0) continue;  // only root can give files away
    const std::string folder = dir.file(std::to_string(++number));
    const std::string registry = folder + "/reg/registry.reg";
    ScopedEnvironment variable("VELMORA_REGISTRY", registry);
    ASSERT_TRUE(registrySetDefaultValue(kServerKeyA, FAKE_SERVER_A));
    const std::string library = c.arrange(folder, registry);
    if (library != FAKE_SERVER_A) {
      ASSERT_TRUE(registrySetDefaultValue(kServerKeyA, library));
    }
    std::string reason = c.reason;
    for (size_t at; (at = reason.find('@')) != std::string::npos;) reason.replace(at, 1, folder);

    ASSERT_GE(CoInitialize(nullptr), 0);
    IUnknown* object = nullptr;
    const HRESULT result = CoCreateInstance(kClassA, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                            reinterpret_cast<void**>(&object));
    EXPECT_EQ(result, reason.empty() ? S_OK : E_ACCESSDENIED);
    EXPECT_EQ(lastCreationRefusal(), reason);
    EXPECT_EQ(object == nullptr, !reason.empty());
    if (object != nullptr) object->Release();
    if (!reason.empty()) {
      EXPECT_FALSE(isLoaded(library));
    }
    CoUninitialize();
  }
}

TEST_F(RegistryTrustTest, ARegistryReachedThroughALinkIsJudgedWhereItLies) {
  const std::string open = dir.file("open");
  ASSERT_EQ(::mkdir(open.c_str(), 0777), 0);
  ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
  writeFileBytes(open + "/registry.reg", "REGEDIT4\n\n");
  ::chmod((open + "/registry.reg").c_str(), 0644);
  ASSERT_EQ(::symlink((open + "/registry.reg").c_str(), dir.file("registry.reg").c_str()), 0);
  std::string why;
  EXPECT_FALSE(checkRegistryFileTrust(dir.file("registry.reg"), &why));
  EXPECT_EQ(why, "the folder " + open + " of the registry file " + dir.file("registry.reg") +
                     " is writable by group or others and not sticky");
  // A missing registry in such a folder could be planted there after the check.
  EXPECT_FALSE(checkRegistryFileTrust(open + "/missing/registry.reg"));
  EXPECT_TRUE(checkRegistryFileTrust(dir.file("missing/deeper/registry.reg")));
}

TEST_F(RegistryTrustTest, RegistrationCreatesTheRegistryWithoutGroupOrOtherWrite) {
  ScopedEnvironment variable("VELMORA_REGISTRY", dir.file("a/b/registry.reg"));
  const mode_t previous = ::umask(0);  // the modes may not depend on it
  EXPECT_TRUE(registrySetDefaultValue("Key", "value"));
  ::umask(previous);
  EXPECT_EQ(modeOf(dir.file("a")) & 07777, 0755u);
  EXPECT_EQ(modeOf(dir.file("a/b")) & 07777, 0755u);
  EXPECT_EQ(modeOf(dir.file("a/b/registry.reg")) & 07777, 0644u);
}

TEST_F(RegistryTrustTest, RegistrationToolRefusesWhatCreationWouldRefuse) {
  ScopedEnvironment variable("VELMORA_REGISTRY", dir.file("registry.reg"));
  const std::string library = copyServer(dir.file("lib.so"));
  ::chmod(library.c_str(), 0757);
  ProcessResult run = runProcess({REGSVR_PROGRAM, library});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.standardError, "velmora-regsvr: refusing to register " + library +
                                   ": the server library " + library +
                                   " is writable by group or others\n");
  EXPECT_EQ(modeOf(dir.file("registry.reg")), 0u);  // nothing written

  ::chmod(library.c_str(), 0755);
  writeFileBytes(dir.file("registry.reg"), "REGEDIT4\n\n");
  ::chmod(dir.file("registry.reg").c_str(), 0666);
  run = runProcess({REGSVR_PROGRAM, library});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.standardError, "velmora-regsvr: refusing to register " + library +
                                   ": the registry file " + dir.file("registry.reg") +
                                   " is writable by group or others\n");
  EXPECT_EQ(readFileBytes(dir.file("registry.reg")), "REGEDIT4\n\n");

  ::chmod(dir.file("registry.reg").c_str(), 0644);
  EXPECT_EQ(runProcess({REGSVR_PROGRAM, library}).exitCode, 0);
}

// An update replaced a linked registry with a regular file (#14); a FIFO stalled it for good.
TEST_F(RegistryTrustTest, UpdatesGoThroughLinksAndNeverOntoSpecialFiles) {
  ASSERT_EQ(::mkdir(dir.file("real").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("real/registry.reg", dir.file("link.reg").c_str()), 0);
  ScopedEnvironment variable("VELMORA_REGISTRY", dir.file("link.reg"));
  ASSERT_TRUE(registrySetDefaultValue("Key", "first"));  // a dangling link: made at its target
  ASSERT_TRUE(registrySetDefaultValue("Key", "second"));
  EXPECT_TRUE(S_ISLNK(modeOf(dir.file("link.reg"))));
  EXPECT_EQ(modeOf(dir.file("real/registry.reg")), S_IFREG | 0644u);
  std::string value;
  EXPECT_TRUE(registryGetDefaultValue("Key", value));
  EXPECT_EQ(value, "second");
  EXPECT_EQ(listDirectory(dir.file("real")), std::vector<std::string>{"registry.reg"});

  ASSERT_EQ(::mkfifo(dir.file("fifo.reg").c_str(), 0644), 0);
  ScopedEnvironment fifo("VELMORA_REGISTRY", dir.file("fifo.reg"));
  std::string why;
  EXPECT_FALSE(registrySetDefaultValue("Key", "value", &why));
  EXPECT_EQ(why, "registry file " + dir.file("fifo.reg") + " is not a regular file");
  EXPECT_TRUE(S_ISFIFO(modeOf(dir.file("fifo.reg"))));
}
