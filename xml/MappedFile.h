// MappedFile: a whole input file, locked and mapped read-only.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "xml/FileEnv.h"

namespace velmora {

// A read-only mapping of a whole file, unmapped through its environment when it dies. Borrows
// the environment.
class MappedView {
 public:
  explicit MappedView(FileEnv& fileEnv) : env(fileEnv) {}
  ~MappedView() { unmap(); }
  MappedView(const MappedView&) = delete;
  MappedView& operator=(const MappedView&) = delete;

  // Takes a new mapping, unmapping the one held before.
  void reset(const void* mappedAddress, size_t mappedLength) {
    unmap();
    address = mappedAddress;
    length = mappedLength;
  }

  const char* bytes() const { return static_cast<const char*>(address); }

 private:
  void unmap();

  FileEnv& env;
  const void* address = nullptr;
  size_t length = 0;
};

// Holds an input file open under an exclusive lock, mapped. Owns the descriptor (and with it the
// lock) and the view; releases the view first, then the file. Borrows the environment. Not
// copyable, not thread-safe.
class MappedFile {
 public:
  // Opens, locks, sizes and maps the file. Throws Win::Exception
  // with code 0, checks in order: "unable to open file" (missing, or locked by another opener),
  // "unable to get the file size" (no size, or 4 GiB and more), "unable to map the file" (empty or
  // not a regular file), "unable to map the view of the file". Nothing stays open after a failure.
  MappedFile(FileEnv& env, const std::string& fileName);
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // The view, which has no terminating zero. Valid while this object lives.
  const char* data() const { return view.bytes(); }
  uint32_t getSize() const { return size; }

 private:
  uint32_t size = 0;
  FileDescriptor file;  // declared before the view, so the view is released first
  MappedView view;
};

}  // namespace velmora
