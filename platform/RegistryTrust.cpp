#include "platform/RegistryTrust.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "platform/Registry.h"

namespace velmora {

namespace {

thread_local std::string creationRefusal;

bool fail(std::string* why, const std::string& reason) {
  if (why != nullptr) *why = reason;
  return false;
}

bool trustedOwner(const struct stat& status) {
  return status.st_uid == ::geteuid() || status.st_uid == 0;
}

std::string ownerProblem(const struct stat& status) {
  return "is owned by user " + std::to_string(status.st_uid) + ", neither the caller nor root";
}

// The file's own owner and mode; what names it in messages.
bool checkFile(const struct stat& status, const std::string& what, std::string* why) {
  if (!trustedOwner(status)) return fail(why, what + " " + ownerProblem(status));
  if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    return fail(why, what + " is writable by group or others");
  return true;
}

std::string parentOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

// Checks folder and each folder above it, up to the root. A folder that does not exist is
// skipped: whoever could create it must write to the next one up, which is checked.
bool checkFolders(std::string folder, const std::string& file, std::string* why) {
  for (;;) {
    struct stat status {};
    if (::stat(folder.c_str(), &status) == 0) {
      const std::string what = "the folder " + folder + " of the registry file " + file;
      if (!trustedOwner(status)) return fail(why, what + " " + ownerProblem(status));
      // A sticky folder lets others add names but not replace or remove ours.
      if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (status.st_mode & S_ISVTX) == 0)
        return fail(why, what + " is writable by group or others and not sticky");
    } else if (errno != ENOENT && errno != ENOTDIR) {
      return fail(why, "cannot examine the folder " + folder + " of the registry file " + file +
                           ": " + ::strerror(errno));
    }
    if (folder == "/") return true;
    folder = parentOf(folder);
  }
}

// The real path (all links resolved) of path, or of its nearest existing folder; "" if none.
std::string realLocation(std::string path, bool& isWholePath) {
  isWholePath = true;
  for (;;) {
    const std::unique_ptr<char, decltype(&free)> resolved(::realpath(path.c_str(), nullptr), &free);
    if (resolved != nullptr) return resolved.get();
    if (path == "/") return "";
    path = parentOf(path);
    isWholePath = false;
  }
}

std::string absolutePath(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return path;
  return std::string(buffer) + "/" + path;
}

}  // namespace

bool checkRegistryFileTrust(const std::string& path, std::string* why) {
  if (path.empty()) return true;
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0) {
    if (!checkFile(status, "the registry file " + path, why)) return false;
  } else if (errno != ENOENT) {
    return true;  // unreadable for another reason: reading it reports that
  }
  const std::string absolute = absolutePath(path);
  if (!checkFolders(parentOf(absolute), path, why)) return false;
  bool isWholePath = false;
  const std::string real = realLocation(absolute, isWholePath);
  if (real.empty()) return true;
  return checkFolders(isWholePath ? parentOf(real) : real, path, why);
}

bool checkServerLibraryTrust(const std::string& path, std::string* why) {
  if (path.empty() || path.front() != '/')
    return fail(why, "the server library path \"" + path + "\" is not absolute");
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return true;  // loading it reports the failure
  return checkFile(status, "the server library " + path, why);
}

bool checkRegistrationTrust(const std::string& library, std::string* why) {
  bool isWholePath = false;
  const std::string real = realLocation(absolutePath(library), isWholePath);
  if (!checkServerLibraryTrust(isWholePath ? real : absolutePath(library), why)) return false;
  return checkRegistryFileTrust(registryFilePath(), why);
}

HRESULT refuseCreation(const std::string& reason) {
  creationRefusal = reason;
  return E_ACCESSDENIED;
}

void clearCreationRefusal() { creationRefusal.clear(); }

const std::string& lastCreationRefusal() { return creationRefusal; }

}  // namespace velmora
