#include "xml/FileSystem.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

namespace velmora {

namespace {

const FileSystem kSystemFileSystem = {
    [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
    ::close,
    ::flock,
    [](int descriptor, struct stat* status) { return ::fstat(descriptor, status); },
    ::mmap,
    ::munmap,
    ::write,
    ::fsync,
    ::fchmod,
    [](const char* path, struct stat* status) { return ::stat(path, status); },
    ::rename,
    ::unlink,
    ::pread,
};

FileSystem activeFileSystem = kSystemFileSystem;

}  // namespace

const FileSystem& systemFileSystem() { return kSystemFileSystem; }

FileSystem& currentFileSystem() { return activeFileSystem; }

bool FileHandle::close() {
  if (descriptor < 0) return true;
  const int closing = descriptor;
  descriptor = -1;
  return currentFileSystem().close(closing) == 0;
}

}  // namespace velmora
