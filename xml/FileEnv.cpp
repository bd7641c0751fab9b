#include "xml/FileEnv.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <system_error>

#include "xml/SaveTarget.h"

namespace velmora {

namespace {

// Attempts at finding an unused temporary file name before giving up.
constexpr int kTemporaryNameAttempts = 100;
// Random letters in a temporary file name.
constexpr int kTemporaryNameLetters = 6;

class PosixFileEnv final : public FileEnv {
 public:
  int open(const char* path, int flags, mode_t mode) override { return ::open(path, flags, mode); }
  int close(int descriptor) override { return ::close(descriptor); }
  ssize_t read(int descriptor, void* bytes, size_t count) override {
    return ::read(descriptor, bytes, count);
  }
  ssize_t write(int descriptor, const void* bytes, size_t count) override {
    return ::write(descriptor, bytes, count);
  }
  int sync(int descriptor) override { return ::fsync(descriptor); }
  int lock(int descriptor, int operation) override { return ::flock(descriptor, operation); }
  int chmod(int descriptor, mode_t mode) override { return ::fchmod(descriptor, mode); }
  int stat(const char* path, struct stat* status) override { return ::stat(path, status); }
  int fstat(int descriptor, struct stat* status) override { return ::fstat(descriptor, status); }
  ssize_t pread(int descriptor, void* bytes, size_t count, off_t offset) override {
    return ::pread(descriptor, bytes, count, offset);
  }
  int rename(const char* from, const char* to) override { return ::rename(from, to); }
  int remove(const char* path) override { return ::unlink(path); }
};

// A name "<target>.tmp-XXXXXX" that differs between processes, threads and attempts.
std::string temporaryName(const std::string& target) {
  static std::atomic<unsigned> sequence{0};
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  unsigned long long seed = static_cast<unsigned long long>(now.tv_nsec) ^
                            (static_cast<unsigned long long>(getpid()) << 20) ^
                            (static_cast<unsigned long long>(sequence++) * 0x9E3779B97F4A7C15ull);
  std::string name = target + ".tmp-";
  for (int i = 0; i < kTemporaryNameLetters; ++i) {
    name.push_back(kLetters[seed % 62]);
    seed /= 62;
  }
  return name;
}

bool fail(FileFailure& failure, const char* action, const std::string& path) {
  failure = FileFailure{action, path, errno, {}};
  return false;
}

// Removes the temporary file on destruction while it exists under its own name. Marking it
// created allocates nothing, so no failure can come between creating the file and guarding it.
class TemporaryFileGuard {
 public:
  explicit TemporaryFileGuard(FileEnv& fileEnv) : env(fileEnv) {}
  ~TemporaryFileGuard() {
    if (created) env.remove(path.c_str());
  }
  TemporaryFileGuard(const TemporaryFileGuard&) = delete;
  TemporaryFileGuard& operator=(const TemporaryFileGuard&) = delete;

  std::string path;
  bool created = false;  // true from the file's creation until it is renamed

 private:
  FileEnv& env;
};

}  // namespace

FileEnv& defaultFileEnv() {
  static PosixFileEnv env;
  return env;
}

bool FileDescriptor::close() {
  if (descriptor < 0) return true;
  const int closing = descriptor;
  descriptor = -1;
  return env.close(closing) == 0;
}

bool writeAll(FileEnv& env, int descriptor, const char* bytes, size_t count) {
  while (count > 0) {
    const ssize_t written = env.write(descriptor, bytes, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) {
      errno = EIO;
      return false;
    }
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}

std::string parentDirectory(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string FileFailure::describe() const {
  return "cannot " + action + " " + path + ": " +
         (reason.empty() ? std::generic_category().message(error) : reason);
}

bool atomicReplace(FileEnv& env, const std::string& givenPath,
                   const std::function<bool(int descriptor)>& produce, FileFailure& failure,
                   int newFileMode) {
  std::string path;  // through symbolic links, so that a link stays a link
  std::string why;
  if (!resolveSaveTarget(givenPath, path, &why)) {
    failure = FileFailure{"replace", givenPath, errno, why};
    return false;
  }
  TemporaryFileGuard temporary(env);  // declared before the file: closed first, then removed
  FileDescriptor file(env);
  const std::string& name = temporary.path;
  for (int attempt = 0; attempt < kTemporaryNameAttempts && !file.isOpen(); ++attempt) {
    temporary.path = temporaryName(path);
    file.reset(env.open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file.isOpen() && errno != EEXIST) break;
  }
  if (!file.isOpen()) return fail(failure, "create temporary file", name);
  temporary.created = true;

  // A file that is replaced keeps its permission bits; a new one gets newFileMode when given.
  struct stat existing;
  if (env.stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    if (env.chmod(file.get(), existing.st_mode & 07777) != 0)
      return fail(failure, "set the permissions of", name);
  } else if (newFileMode >= 0 && env.chmod(file.get(), static_cast<mode_t>(newFileMode)) != 0) {
    return fail(failure, "set the permissions of", name);
  }
  if (!produce(file.get())) return fail(failure, "write", name);
  if (env.sync(file.get()) != 0) return fail(failure, "flush", name);
  if (!file.close()) return fail(failure, "close", name);
  if (env.rename(name.c_str(), path.c_str()) != 0) return fail(failure, "replace", path);
  temporary.created = false;  // renamed: nothing left to remove

  // The rename is only durable once the folder is synced; success promises durability.
  const std::string directory = parentDirectory(path);
  FileDescriptor folder(env, env.open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!folder.isOpen() || env.sync(folder.get()) != 0) {
    return fail(failure, "sync the folder", directory);
  }
  return true;
}

}  // namespace velmora
