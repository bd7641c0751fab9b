// Runs the sample program end to end, registered into a temporary registry.
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

using namespace velmora;

namespace {

struct CommandRun {
  int status = -1;
  std::string output;
};

// Runs a command line with the shell, standard input from /dev/null, capturing stdout.
CommandRun runCommand(const std::string& command) {
  CommandRun run;
  FILE* pipe = popen((command + " </dev/null").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

class DemoClientTest : public TempDirTest {
 protected:
  std::string env() const { return "VELMORA_REGISTRY='" + dir.file("registry.reg") + "' "; }
  void registerServer() {
    const CommandRun run = runCommand(env() + VELMORA_REGSVR " " VELMORA_SERVER_LIBRARY);
    ASSERT_EQ(run.status, 0);
  }
};

const char kSuccess[] =
    "everything went fine\nthis sample program has been able to create an XML file from an "
    "existing database, as well as read it into another database";

}  // namespace

TEST_F(DemoClientTest, RegisteredRunSavesAndReportsSuccess) {
  registerServer();
  const CommandRun run =
      runCommand("cd '" + dir.path() + "' && " + env() + VELMORA_DEMOCLIENT " 2>/dev/null");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, kSuccess);
  const std::string saved = readFileBytes(dir.file("sample.xml"));
  EXPECT_NE(saved.find("<database><info><name>my database</name><version>1</version></info>"
                       "<data><employee><record><name>john</name><surname>doe</surname>"
                       "<age>12</age></record></employee></data></database>"),
            std::string::npos)
      << saved;
  EXPECT_EQ(saved.rfind("<!--this is a database created with velmora-->", 0), 0u);
}

TEST_F(DemoClientTest, UnregisteredRunReportsCreationFailure) {
  const CommandRun run =
      runCommand("cd '" + dir.path() + "' && " + env() + VELMORA_DEMOCLIENT " 2>/dev/null");
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(run.output,
            "Couldn't create instance: Class not registered; the error number is 0 \n"
            " see your velmora documentation for details...");
}

// A registry others may write is refused, with the reason in the report (#14).
TEST_F(DemoClientTest, UntrustedRegistryReportsWhy) {
  registerServer();
  ASSERT_EQ(chmod(dir.file("registry.reg").c_str(), 0666), 0);
  const CommandRun run =
      runCommand("cd '" + dir.path() + "' && " + env() + VELMORA_DEMOCLIENT " 2>/dev/null");
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(run.output, "Couldn't create instance: Access is denied. (the registry file " +
                            dir.file("registry.reg") +
                            " is writable by group or others); the error number is 0 \n"
                            " see your velmora documentation for details...");
}

TEST_F(DemoClientTest, RemovedDirectoryReportsWriteFailure) {
  registerServer();
  const std::string gone = dir.file("gone");
  const CommandRun run = runCommand("mkdir '" + gone + "' && cd '" + gone + "' && rmdir '" + gone +
                                    "' && " + env() + VELMORA_DEMOCLIENT " 2>/dev/null");
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(run.output,
            "error: an exception has been raised in the COM object; the error number is 102 \n"
            " see your velmora documentation for details...");
}

TEST_F(DemoClientTest, RegistrationToolReportsBadInput) {
  CommandRun run = runCommand(env() + VELMORA_REGSVR " '" + dir.file("missing.so") + "' 2>&1");
  EXPECT_NE(run.status, 0);
  EXPECT_FALSE(run.output.empty());
  run = runCommand(env() + VELMORA_REGSVR " 2>&1");
  EXPECT_NE(run.status, 0);
  registerServer();
  run = runCommand(env() + VELMORA_REGSVR " -u " VELMORA_SERVER_LIBRARY);
  EXPECT_EQ(run.status, 0);
  run = runCommand("cd '" + dir.path() + "' && " + env() + VELMORA_DEMOCLIENT " 2>/dev/null");
  EXPECT_NE(run.status, 0);
}
