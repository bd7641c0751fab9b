// FileEnv: the file calls behind saving, loading and the registry, one descriptor class, and the
// durable replacement of a file.
#pragma once

#include <stddef.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <string>

namespace velmora {

// The operating-system file calls the persistence code makes, one virtual function each, with
// the POSIX call's contract (result, errno). Code under test is handed an environment that fails
// on purpose (see tests/support/FaultInjectingFileEnv.h); everything else uses defaultFileEnv().
// An environment is shared by its callers and must outlive them; the default one is stateless
// and thread-safe.
class FileEnv {
 public:
  virtual ~FileEnv() = default;
  virtual int open(const char* path, int flags, mode_t mode) = 0;
  virtual int close(int descriptor) = 0;
  virtual ssize_t read(int descriptor, void* bytes, size_t count) = 0;
  virtual ssize_t write(int descriptor, const void* bytes, size_t count) = 0;
  virtual int sync(int descriptor) = 0;                 // fsync
  virtual int lock(int descriptor, int operation) = 0;  // flock
  virtual int chmod(int descriptor, mode_t mode) = 0;   // fchmod
  virtual int stat(const char* path, struct stat* status) = 0;
  virtual int fstat(int descriptor, struct stat* status) = 0;
  virtual ssize_t pread(int descriptor, void* bytes, size_t count, off_t offset) = 0;
  virtual int rename(const char* from, const char* to) = 0;
  virtual int remove(const char* path) = 0;  // unlink
};

// The real calls.
FileEnv& defaultFileEnv();

// An open descriptor, closed through its environment when the object dies. Owns the descriptor;
// -1 means none. Borrows the environment.
class FileDescriptor {
 public:
  explicit FileDescriptor(FileEnv& fileEnv, int openedDescriptor = -1)
      : env(fileEnv), descriptor(openedDescriptor) {}
  ~FileDescriptor() { close(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return descriptor; }
  bool isOpen() const { return descriptor >= 0; }
  // Takes a newly opened descriptor, closing the one held before.
  void reset(int openedDescriptor) {
    close();
    descriptor = openedDescriptor;
  }
  // Closes now; false when the close call reports a failure (the descriptor is gone either way).
  bool close();

 private:
  FileEnv& env;
  int descriptor;
};

// Writes all count bytes, continuing after short writes and EINTR. False with errno set when a
// write fails; a write that takes nothing counts as EIO.
bool writeAll(FileEnv& env, int descriptor, const char* bytes, size_t count);

// The folder part of path: "." without a slash, "/" for a file in the root.
std::string parentDirectory(const std::string& path);

// Why atomicReplace failed: the step ("create temporary file", "write", "flush", ...), the file
// it was applied to and the errno it left.
struct FileFailure {
  std::string action;
  std::string path;
  int error = 0;
  std::string reason;  // set instead of error when the failure is not a system call's
  // "cannot <action> <path>: <system message>", or "cannot <action> <path>: <reason>"
  std::string describe() const;
};

// Replaces path durably: a new file "<path>.tmp-XXXXXX" in the same folder (O_EXCL, mode 0666
// less the umask, then the permission bits of a regular file it replaces), filled by produce
// (false from produce, with errno set, counts as a failed write), synced, closed, renamed over
// path, and the folder synced. False with failure set when any step fails; a failure from the
// folder sync comes after the rename, so the new content is then in place but not known to
// survive a crash. Whatever fails, the temporary file is removed; an exception from produce
// passes on as it is.
//
// A path that is a symbolic link is followed to the file it finally names (resolveSaveTarget),
// and that file is replaced, so the link stays a link; a final target that exists and is not a
// regular file (device node, FIFO, socket, folder), or a chain of links that does not end, fails
// before anything is written. A new file gets newFileMode exactly when it is not negative.
bool atomicReplace(FileEnv& env, const std::string& path,
                   const std::function<bool(int descriptor)>& produce, FileFailure& failure,
                   int newFileMode = -1);

}  // namespace velmora
