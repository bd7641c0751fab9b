// velmora-regsvr: registers a component server in the class registry (or removes it with -u) by
// calling the library's own DllRegisterServer / DllUnregisterServer.
#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>

#include <iostream>
#include <string>
#include <system_error>

#include "velmora/Types.h"
#include "velmora/Version.h"

#include "platform/LibraryHandle.h"
#include "platform/MessageText.h"
#include "platform/Registry.h"
#include "platform/RegistryTrust.h"

using namespace velmora;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: velmora-regsvr [-u] LIBRARY\n"
    "       velmora-regsvr --help | --version\n"
    "Registers the component server LIBRARY in the class registry, or removes it with -u.\n"
    "The registry is $VELMORA_REGISTRY, else ${XDG_CONFIG_HOME:-$HOME/.config}/velmora/"
    "registry.reg.\n";

using RegistrationFunction = HRESULT();

int failure(const std::string& message) {
  std::cerr << "velmora-regsvr: " << message << '\n';
  return kExitFailure;
}

std::string hexCode(HRESULT code) {
  char text[16];
  snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return text;
}

int run(const std::string& library, bool unregister) {
  struct stat status {};
  if (::stat(library.c_str(), &status) != 0)
    return failure("cannot open " + library + ": " + std::generic_category().message(errno));
  if (!S_ISREG(status.st_mode)) return failure(library + " is not a regular file");
  // Instance creation would refuse it later; say so now, before loading anything.
  std::string distrust;
  if (!unregister && !checkRegistrationTrust(library, &distrust))
    return failure("refusing to register " + library + ": " + distrust);
  // Without a slash dlopen would search the library path instead of the current directory.
  const std::string loadPath = library.find('/') == std::string::npos ? "./" + library : library;
  std::string loadError;
  const LibraryHandle handle = LibraryHandle::open(loadPath, &loadError);
  if (!handle.isOpen()) return failure("cannot load " + library + ": " + loadError);
  const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  RegistrationFunction* entry = handle.find<RegistrationFunction>(entryName);
  if (entry == nullptr)
    return failure(library + " is not a component server: it has no " + entryName + " entry point");
  const HRESULT result = entry();
  // DllUnregisterServer answers S_FALSE by design; only negative results are failures.
  if (result < 0) {
    std::string message =
        std::string(entryName) + " of " + library + " failed with " + hexCode(result);
    const std::string text = messageText(result);
    if (!text.empty()) message += " (" + text + ")";
    std::string registryProblem;
    if (!registryCheckFile(&registryProblem)) message += ": " + registryProblem;
    return failure(message);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  bool unregister = false;
  int next = 1;
  for (; next < argc && argv[next][0] == '-'; ++next) {
    const std::string option = argv[next];
    if (option == "--") {
      ++next;
      break;
    }
    if (option == "-u") {
      unregister = true;
    } else if (option == "-h" || option == "--help") {
      std::cout << kUsage;
      return 0;
    } else if (option == "--version") {
      std::cout << "velmora-regsvr " VELMORA_VERSION "\n";
      return 0;
    } else {
      std::cerr << "velmora-regsvr: unknown option " << option << '\n' << kUsage;
      return kExitUsage;
    }
  }
  if (argc - next != 1) {
    std::cerr << kUsage;
    return kExitUsage;
  }
  return run(argv[next], unregister);
}
