#include "platform/Registry.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/RegistryDocument.h"
#include "platform/RegistryParser.h"
#include "xml/FileEnv.h"

namespace velmora {

namespace {

const char kRootPrefix[] = "HKEY_CLASSES_ROOT\\";
// A registry of a few keys per component is a few kilobytes; anything this large is not ours.
constexpr off_t kMaxRegistryFileSize = off_t{16} << 20;
// Bytes read from the registry file per call.
constexpr size_t kReadChunkSize = 8192;
// A new registry file (set exactly) and the folders made for it (a umask can only narrow the
// mode): nobody but the owner may write to them, as instance creation refuses a registry others
// could change.
constexpr mode_t kNewFileMode = 0644;
constexpr mode_t kNewFolderMode = 0755;

// An exclusive flock on "<registry>.lock", held from construction to destruction. The lock file is
// never removed: removing it would let two writers lock two different files.
class RegistryLock {
 public:
  RegistryLock(FileEnv& env, const std::string& registryPath)
      : file(env, env.open((registryPath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (!file.isOpen()) {
      error = errno;
      return;
    }
    while (env.lock(file.get(), LOCK_EX) != 0) {
      if (errno != EINTR) {
        error = errno;
        return;
      }
    }
    locked = true;
  }

  bool isLocked() const { return locked; }
  int getError() const { return error; }

 private:
  FileDescriptor file;
  bool locked = false;
  int error = 0;
};

bool fail(std::string* why, const std::string& reason) {
  if (why != nullptr) *why = reason;
  return false;
}

std::string systemMessage(int error) { return std::generic_category().message(error); }

bool failErrno(std::string* why, const std::string& action, const std::string& path, int error) {
  return fail(why, "cannot " + action + " " + path + ": " + systemMessage(error));
}

// Keys and values end up on lines of their own in the file, so nothing in them may break a line.
bool checkKey(const std::string& key, std::string* why) {
  if (key.empty()) return fail(why, "empty registry key name");
  for (char c : key) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F)
      return fail(why, "control character in registry key name \"" + key + "\"");
  }
  if (key.front() == '\\' || key.back() == '\\' || key.find("\\\\") != std::string::npos)
    return fail(why, "empty name component in registry key \"" + key + "\"");
  return true;
}

bool checkValue(const std::string& value, std::string* why) {
  if (value.find_first_of(std::string("\n\r\0", 3)) != std::string::npos)
    return fail(why, "registry values cannot hold line breaks or NUL bytes");
  return true;
}

bool createDirectories(const std::string& directory, std::string* why) {
  size_t position = 0;
  while (position != std::string::npos) {
    position = directory.find('/', position + 1);
    const std::string prefix = directory.substr(0, position);
    if (::mkdir(prefix.c_str(), kNewFolderMode) == 0) continue;
    const int error = errno;
    struct stat status {};
    if (error == EEXIST && ::stat(prefix.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
      continue;
    return failErrno(why, "create directory", prefix, error == EEXIST ? ENOTDIR : error);
  }
  return true;
}

// The registry file as found on disk.
struct RegistryFileState {
  bool exists = false;
  mode_t mode = 0;
  std::string text;
  RegistryDocument document;
};

// Reads and parses the file; a missing file is an empty registry.
bool readRegistryFile(FileEnv& env, const std::string& path, RegistryFileState& state,
                      std::string* why) {
  // Non-blocking, so that a FIFO in its place is refused below instead of waiting for a writer.
  FileDescriptor file(env, env.open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0));
  if (!file.isOpen()) {
    if (errno == ENOENT) return true;
    return failErrno(why, "open registry file", path, errno);
  }
  struct stat status {};
  if (env.fstat(file.get(), &status) != 0) return failErrno(why, "examine", path, errno);
  if (!S_ISREG(status.st_mode))
    return fail(why, "registry file " + path + " is not a regular file");
  if (status.st_size > kMaxRegistryFileSize)
    return fail(why, "registry file " + path + " is too large to be a registry");
  std::string text;
  char buffer[kReadChunkSize];
  for (;;) {
    const ssize_t count = env.read(file.get(), buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      return failErrno(why, "read registry file", path, errno);
    }
    text.append(buffer, static_cast<size_t>(count));
    if (text.size() > static_cast<size_t>(kMaxRegistryFileSize))
      return fail(why, "registry file " + path + " is too large to be a registry");
  }
  RegistryParseError error;
  if (!parseRegistryText(text, state.document, error))
    return fail(why, "registry file " + path + " is malformed (" + error.describe() +
                         "); it was left unchanged");
  state.exists = true;
  state.mode = status.st_mode & 07777;
  state.text = std::move(text);
  return true;
}

// Applies change to the registry under the lock and writes the result back when it differs.
// change returns false (having set why) to abandon the update.
bool updateRegistry(FileEnv& env, bool createMissing,
                    const std::function<bool(RegistryDocument&, std::string*)>& change,
                    std::string* why) {
  const std::string path = registryFilePath();
  if (path.empty())
    return fail(why, "cannot locate the registry: VELMORA_REGISTRY and HOME are not set");
  const std::string directory = parentDirectory(path);
  if (createMissing) {
    if (!createDirectories(directory, why)) return false;
  } else {
    struct stat status {};
    if (::stat(directory.c_str(), &status) != 0 && errno == ENOENT) {
      RegistryDocument empty;
      return change(empty, why);  // nothing to change in a registry that does not exist
    }
  }
  RegistryLock lock(env, path);
  if (!lock.isLocked()) return failErrno(why, "lock", path + ".lock", lock.getError());
  RegistryFileState state;
  if (!readRegistryFile(env, path, state, why)) return false;
  if (!change(state.document, why)) return false;
  const std::string text = formatRegistryText(state.document);
  if (state.exists && text == state.text) return true;
  FileFailure failure;
  const bool replaced = atomicReplace(
      env, path,
      [&](int descriptor) { return writeAll(env, descriptor, text.data(), text.size()); }, failure,
      kNewFileMode);
  return replaced || fail(why, failure.describe());
}

std::string homeDirectory() {
  const char* home = ::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  std::vector<char> buffer(16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr)
    return found->pw_dir;
  return "";
}

}  // namespace

std::string registryFilePath() {
  const char* explicitPath = ::getenv("VELMORA_REGISTRY");
  if (explicitPath != nullptr && *explicitPath != '\0') return explicitPath;
  std::string configDirectory;
  const char* xdgConfig = ::getenv("XDG_CONFIG_HOME");
  if (xdgConfig != nullptr && xdgConfig[0] == '/') {
    configDirectory = xdgConfig;
  } else {
    const std::string home = homeDirectory();
    if (home.empty()) return "";
    configDirectory = home + "/.config";
  }
  return configDirectory + "/velmora/registry.reg";
}

bool registrySetDefaultValue(const std::string& key, const std::string& value, std::string* why,
                             FileEnv& env) {
  if (!checkKey(key, why) || !checkValue(value, why)) return false;
  const std::string path = kRootPrefix + key;
  return updateRegistry(
      env, true,
      [&](RegistryDocument& document, std::string*) {
        document.createKey(path).setDefaultValue(value);
        return true;
      },
      why);
}

bool registryDeleteKey(const std::string& key, std::string* why, FileEnv& env) {
  if (!checkKey(key, why)) return false;
  const std::string path = kRootPrefix + key;
  return updateRegistry(
      env, false,
      [&](RegistryDocument& document, std::string* reason) {
        if (document.deleteKey(path)) return true;
        return fail(reason, "registry key " + path + " does not exist");
      },
      why);
}

RegistryLookup registryLookupDefaultValue(const std::string& key, std::string& value,
                                          std::string* why) {
  if (!checkKey(key, why)) return RegistryLookup::Absent;
  const std::string path = registryFilePath();
  if (path.empty()) {
    fail(why, "cannot locate the registry: VELMORA_REGISTRY and HOME are not set");
    return RegistryLookup::Failed;
  }
  // Updates replace the file by rename, so reading without the lock sees one whole version.
  RegistryFileState state;
  if (!readRegistryFile(defaultFileEnv(), path, state, why)) return RegistryLookup::Failed;
  const std::string keyPath = kRootPrefix + key;
  const RegistryKey* found = state.document.findKey(keyPath);
  if (found == nullptr) {
    fail(why, "registry key " + keyPath + " does not exist");
    return RegistryLookup::Absent;
  }
  const RegistryValue* defaultValue = found->findDefaultValue();
  if (defaultValue == nullptr || !defaultValue->isString) {
    fail(why, "registry key " + keyPath + " has no default text value");
    return RegistryLookup::Absent;
  }
  value = defaultValue->data;
  return RegistryLookup::Found;
}

bool registryGetDefaultValue(const std::string& key, std::string& value, std::string* why) {
  return registryLookupDefaultValue(key, value, why) == RegistryLookup::Found;
}

bool registryCheckFile(std::string* why) {
  const std::string path = registryFilePath();
  if (path.empty())
    return fail(why, "cannot locate the registry: VELMORA_REGISTRY and HOME are not set");
  RegistryFileState state;
  return readRegistryFile(defaultFileEnv(), path, state, why);
}

}  // namespace velmora
