// The velmora command line: parsing the arguments and running one command.
#pragma once

#include <string>
#include <vector>

namespace velmora {

// Exit statuses of the tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the file or data is bad, or an operation failed
inline constexpr int kExitUsage = 2;

// Runs the command the arguments (without the program name) name, writing to stdout and
// stderr; returns the exit status.
int runCommandLine(const std::vector<std::string>& arguments);

}  // namespace velmora
