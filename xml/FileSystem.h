// FileSystem: the operating-system file calls behind saving and loading, replaceable by tests.
#pragma once

#include <stddef.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace velmora {

// One function pointer per call, each with the POSIX call's contract (result, errno). The XML
// layer reaches the file system only through currentFileSystem(), so a test can swap in a
// failing call without touching permissions (which root ignores). Not thread-safe: tests swap
// it while no save or load runs.
struct FileSystem {
  int (*open)(const char* path, int flags, mode_t mode);
  int (*close)(int descriptor);
  int (*flock)(int descriptor, int operation);
  int (*fstat)(int descriptor, struct stat* status);
  void* (*mmap)(void* address, size_t length, int protection, int flags, int descriptor,
                off_t offset);
  int (*munmap)(void* address, size_t length);
  ssize_t (*write)(int descriptor, const void* bytes, size_t count);
  int (*fsync)(int descriptor);
  int (*fchmod)(int descriptor, mode_t mode);
  int (*stat)(const char* path, struct stat* status);
  int (*rename)(const char* from, const char* to);
  int (*unlink)(const char* path);
  ssize_t (*pread)(int descriptor, void* bytes, size_t count, off_t offset);
};

// The real calls.
const FileSystem& systemFileSystem();
// The calls in use; starts as systemFileSystem(). Tests assign single members and restore the
// whole struct afterwards.
FileSystem& currentFileSystem();

// An open descriptor, closed through the current FileSystem when the handle dies. Owns the
// descriptor; -1 means none.
class FileHandle {
 public:
  explicit FileHandle(int openedDescriptor = -1) : descriptor(openedDescriptor) {}
  ~FileHandle() { close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

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
  int descriptor;
};

}  // namespace velmora
