#include <stdlib.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "velmora/Version.h"

#include "platform/Registry.h"
#include "tests/platform/ScopedEnvironment.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TempDir.h"

using namespace velmora;

namespace {

const char kClassA[] = "CLSID\\{FA4E0001-1234-5678-9ABC-DEF012345678}";
const char kClassB[] = "CLSID\\{FA4E0002-1234-5678-9ABC-DEF012345678}";

std::string resolved(const char* path) {
  const std::unique_ptr<char, decltype(&free)> full(realpath(path, nullptr), &free);
  return full ? full.get() : "";
}

class RegSvrTest : public TempDirTest {
 protected:
  ProcessResult regsvr(const std::vector<std::string>& arguments,
                       const std::string& workingDirectory = "") {
    std::vector<std::string> command{REGSVR_PROGRAM};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runProcess(command, workingDirectory);
  }
  std::string defaultValue(const std::string& key) {
    std::string value;
    return registryGetDefaultValue(key, value) ? value : "<absent>";
  }

  ScopedEnvironment registryVariable{"VELMORA_REGISTRY", dir.file("registry.reg")};
};

}  // namespace

TEST_F(RegSvrTest, RegistersAndUnregistersAServer) {
  ASSERT_TRUE(registrySetDefaultValue("Unrelated", "kept"));
  const ProcessResult registered = regsvr({FAKE_SERVER_A});
  EXPECT_EQ(registered.exitCode, 0) << registered.standardError;
  EXPECT_EQ(registered.standardOutput, "");
  EXPECT_EQ(registered.standardError, "");
  EXPECT_EQ(defaultValue(std::string(kClassA) + "\\InprocServer32"), resolved(FAKE_SERVER_A));
  EXPECT_EQ(defaultValue("FakeServer1\\CLSID"), std::string(kClassA).substr(6));

  // Unregistration answers S_FALSE by design, which is success.
  const ProcessResult unregistered = regsvr({"-u", FAKE_SERVER_A});
  EXPECT_EQ(unregistered.exitCode, 0) << unregistered.standardError;
  EXPECT_EQ(readFileBytes(dir.file("registry.reg")),
            "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Unrelated]\n@=\"kept\"\n\n");
}

TEST_F(RegSvrTest, LibraryNameWithoutSlashIsTakenFromTheCurrentDirectory) {
  const std::string library = FAKE_SERVER_B;
  const size_t slash = library.rfind('/');
  const ProcessResult result = regsvr({library.substr(slash + 1)}, library.substr(0, slash));
  EXPECT_EQ(result.exitCode, 0) << result.standardError;
  EXPECT_EQ(defaultValue(std::string(kClassB) + "\\InprocServer32"), resolved(FAKE_SERVER_B));
}

TEST_F(RegSvrTest, FailuresExitNonZeroWithAReason) {
  writeFileBytes(dir.file("text.so"), "not a library");
  const struct {
    std::vector<std::string> arguments;
    int exitCode;
    std::string message;
  } cases[] = {
      {{}, 2, "usage: velmora-regsvr"},
      {{"-x", FAKE_SERVER_A}, 2, "unknown option -x"},
      {{FAKE_SERVER_A, FAKE_SERVER_B}, 2, "usage"},
      {{dir.file("missing.so")}, 1, "cannot open " + dir.file("missing.so") + ": No such file"},
      {{dir.path()}, 1, "is not a regular file"},
      {{dir.file("text.so")}, 1, "cannot load " + dir.file("text.so")},
      {{FAKE_NOT_SERVER}, 1, "is not a component server: it has no DllRegisterServer"},
      {{"-u", FAKE_NOT_SERVER}, 1, "it has no DllUnregisterServer"},
      {{FAKE_SERVER_FAILING},
       1,
       "DllRegisterServer of " FAKE_SERVER_FAILING
       " failed with 0x8000FFFF (Catastrophic failure)"},
  };
  for (const auto& c : cases) {
    const ProcessResult result = regsvr(c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.message;
    EXPECT_NE(result.standardError.find(c.message), std::string::npos) << result.standardError;
    EXPECT_EQ(result.standardOutput, "");
  }
  EXPECT_EQ(readFileBytes(dir.file("registry.reg")), "");  // nothing was registered
}

// --help and --version answer on stdout and exit 0 even with a library given; an unknown option
// prints the usage on stderr and exits 2, also after -u.
TEST_F(RegSvrTest, HelpAndVersionGoToStandardOutput) {
  const struct {
    std::vector<std::string> arguments;
    int exitCode;
    std::string standardOutput;
    std::string errorStart;
  } cases[] = {
      {{"--help"}, 0, "usage: velmora-regsvr [-u] LIBRARY\n", ""},
      {{"-u", "-h", FAKE_SERVER_A}, 0, "usage: velmora-regsvr [-u] LIBRARY\n", ""},
      {{"--version"}, 0, "velmora-regsvr " VELMORA_VERSION "\n", ""},
      {{"-u", "--versions", FAKE_SERVER_A},
       2,
       "",
       "velmora-regsvr: unknown option --versions\nusage:"},
      {{"--", "--version"}, 1, "", "velmora-regsvr: cannot open --version"},
  };
  for (const auto& c : cases) {
    const ProcessResult result = regsvr(c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments[0];
    EXPECT_EQ(result.standardOutput.substr(0, c.standardOutput.size()), c.standardOutput);
    EXPECT_EQ(result.standardOutput.empty(), c.standardOutput.empty()) << result.standardOutput;
    EXPECT_EQ(result.standardError.substr(0, c.errorStart.size()), c.errorStart);
    EXPECT_EQ(result.standardError.empty(), c.errorStart.empty()) << result.standardError;
  }
  EXPECT_EQ(readFileBytes(dir.file("registry.reg")), "");  // nothing was registered
}

TEST_F(RegSvrTest, MalformedRegistryIsExplainedAndKept) {
  const std::string malformed = "REGEDIT4\n\n@=\"orphan\"\n";
  writeFileBytes(dir.file("registry.reg"), malformed);
  const ProcessResult result = regsvr({FAKE_SERVER_A});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.standardError.find("malformed (line 3: value line before the first key)"),
            std::string::npos)
      << result.standardError;
  EXPECT_EQ(readFileBytes(dir.file("registry.reg")), malformed);
}

// Two registrations started at the same moment, again and again: both servers end up
// registered and nothing else in the registry is lost.
TEST_F(RegSvrTest, ConcurrentRegistrationsLoseNothing) {
  const std::string unrelatedOnly = "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Unrelated]\n@=\"kept\"\n\n";
  for (int round = 0; round < 100; ++round) {
    // Back to the unrelated key alone, so that every round writes every key anew.
    writeFileBytes(dir.file("registry.reg"), unrelatedOnly);
    const pid_t first = startQuietProcess({REGSVR_PROGRAM, FAKE_SERVER_A});
    const pid_t second = startQuietProcess({REGSVR_PROGRAM, FAKE_SERVER_B});
    ASSERT_EQ(waitForProcess(first), 0);
    ASSERT_EQ(waitForProcess(second), 0);
    ASSERT_EQ(defaultValue(std::string(kClassA) + "\\InprocServer32"), resolved(FAKE_SERVER_A));
    ASSERT_EQ(defaultValue(std::string(kClassB) + "\\InprocServer32"), resolved(FAKE_SERVER_B));
    ASSERT_EQ(defaultValue("FakeServer1\\CLSID"), std::string(kClassA).substr(6));
    ASSERT_EQ(defaultValue("FakeServer2\\CLSID"), std::string(kClassB).substr(6));
    ASSERT_EQ(defaultValue("Unrelated"), "kept");
  }
}
