// The velmora tool's entry point.
#include <string>
#include <vector>

#include "tools/velmora/Commands.h"

int main(int argc, char** argv) {
  return velmora::runCommandLine(std::vector<std::string>(argv + 1, argv + argc));
}
