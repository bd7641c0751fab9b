// RegistryTrust: whether the registry file and the server libraries it names may be trusted to
// run code in this process, judged by owner and mode bits (never by access(), which root passes).
#pragma once

#include <string>

#include "velmora/Types.h"

namespace velmora {

// A registry file is trusted when it is owned by the caller (effective user) or root and is not
// writable by group or others, and when every folder above it, up to the root, is owned by the
// caller or root and is either not writable by group or others or sticky. The folders are those
// named in path and those of the file's real location (symbolic links resolved). A missing file
// is fine as long as the folders that exist pass. An empty path passes: the lookup reports it.
// False with why (which file, and why) otherwise.
bool checkRegistryFileTrust(const std::string& path, std::string* why = nullptr);

// A server library path is trusted when it is absolute and the file it reaches is owned by the
// caller or root and is not writable by group or others. A missing file passes: loading it
// reports it. False with why otherwise.
bool checkServerLibraryTrust(const std::string& path, std::string* why = nullptr);

// What velmora-regsvr checks before registering library (given as on its command line): the
// library's real path and the registry file, as instance creation will check them later.
bool checkRegistrationTrust(const std::string& library, std::string* why = nullptr);

// Records reason as the calling thread's latest creation refusal and returns E_ACCESSDENIED.
HRESULT refuseCreation(const std::string& reason);
// Forgets the calling thread's latest refusal (each creation starts with it).
void clearCreationRefusal();
// Why the calling thread's latest instance creation was refused with E_ACCESSDENIED, "" when it
// was not. The text stays valid until the thread's next creation.
const std::string& lastCreationRefusal();

}  // namespace velmora
