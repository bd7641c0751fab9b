// FaultInjectingFileEnv: a file environment whose calls a test replaces one by one.
#pragma once

#include <stddef.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <functional>

#include "xml/FileEnv.h"

namespace velmora {

// Each call goes through the matching member of calls, which starts as the real call
// (defaultFileEnv()). A test replaces single members, usually by a function that fails on
// purpose or records what it sees, and hands the environment to the code under test; other
// code keeps the real calls. Not thread-safe: set the calls before the code under test runs.
class FaultInjectingFileEnv final : public FileEnv {
 public:
  struct Calls {
    std::function<int(const char*, int, mode_t)> open;
    std::function<int(int)> close;
    std::function<ssize_t(int, void*, size_t)> read;
    std::function<ssize_t(int, const void*, size_t)> write;
    std::function<int(int)> sync;
    std::function<int(int, int)> lock;
    std::function<int(int, mode_t)> chmod;
    std::function<int(const char*, struct stat*)> stat;
    std::function<int(int, struct stat*)> fstat;
    std::function<ssize_t(int, void*, size_t, off_t)> pread;
    std::function<int(const char*, const char*)> rename;
    std::function<int(const char*)> remove;
  };

  FaultInjectingFileEnv() : calls(realCalls()) {}

  // The real calls, for a replacement to fall back on.
  static Calls realCalls();

  int open(const char* path, int flags, mode_t mode) override {
    return calls.open(path, flags, mode);
  }
  int close(int descriptor) override { return calls.close(descriptor); }
  ssize_t read(int descriptor, void* bytes, size_t count) override {
    return calls.read(descriptor, bytes, count);
  }
  ssize_t write(int descriptor, const void* bytes, size_t count) override {
    return calls.write(descriptor, bytes, count);
  }
  int sync(int descriptor) override { return calls.sync(descriptor); }
  int lock(int descriptor, int operation) override { return calls.lock(descriptor, operation); }
  int chmod(int descriptor, mode_t mode) override { return calls.chmod(descriptor, mode); }
  int stat(const char* path, struct stat* status) override { return calls.stat(path, status); }
  int fstat(int descriptor, struct stat* status) override {
    return calls.fstat(descriptor, status);
  }
  ssize_t pread(int descriptor, void* bytes, size_t count, off_t offset) override {
    return calls.pread(descriptor, bytes, count, offset);
  }
  int rename(const char* from, const char* to) override { return calls.rename(from, to); }
  int remove(const char* path) override { return calls.remove(path); }

  Calls calls;
};

inline FaultInjectingFileEnv::Calls FaultInjectingFileEnv::realCalls() {
  FileEnv& real = defaultFileEnv();
  Calls c;
  c.open = [&real](const char* path, int flags, mode_t mode) {
    return real.open(path, flags, mode);
  };
  c.close = [&real](int descriptor) { return real.close(descriptor); };
  c.read = [&real](int descriptor, void* bytes, size_t count) {
    return real.read(descriptor, bytes, count);
  };
  c.write = [&real](int descriptor, const void* bytes, size_t count) {
    return real.write(descriptor, bytes, count);
  };
  c.sync = [&real](int descriptor) { return real.sync(descriptor); };
  c.lock = [&real](int descriptor, int operation) { return real.lock(descriptor, operation); };
  c.chmod = [&real](int descriptor, mode_t mode) { return real.chmod(descriptor, mode); };
  c.stat = [&real](const char* path, struct stat* status) { return real.stat(path, status); };
  c.fstat = [&real](int descriptor, struct stat* status) { return real.fstat(descriptor, status); };
  c.pread = [&real](int descriptor, void* bytes, size_t count, off_t offset) {
    return real.pread(descriptor, bytes, count, offset);
  };
  c.rename = [&real](const char* from, const char* to) { return real.rename(from, to); };
  c.remove = [&real](const char* path) { return real.remove(path); };
  return c;
}

}  // namespace velmora
