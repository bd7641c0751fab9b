// Running programs from tests: start, wait, and capture their output.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace velmora {

struct ProcessResult {
  int exitCode = -1;  // -1 when the program did not exit normally
  std::string standardOutput;
  std::string standardError;
};

// Runs the program (arguments[0], a path) in the given directory ("" for the current one) with
// the current environment and waits for it.
ProcessResult runProcess(const std::vector<std::string>& arguments,
                         const std::string& workingDirectory = "");

// Starts the program with its output discarded; -1 on failure.
pid_t startQuietProcess(const std::vector<std::string>& arguments);
// Waits for a started program; its exit code, or -1.
int waitForProcess(pid_t pid);

}  // namespace velmora
