// MappedFile: a whole input file mapped read-only and, in copying mode, copied with a trailing
// zero.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "xml/FileSystem.h"

namespace velmora {

// A read-only mapping of a whole file, unmapped through the current FileSystem when it dies.
class MappedView {
 public:
  MappedView() = default;
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

  const void* address = nullptr;
  size_t length = 0;
};

// Holds an input file open under an exclusive lock, mapped, and in copying mode its bytes
// followed by one zero byte. Owns the descriptor (and with it the lock), the view and the copy;
// releases the view first, then the file. Not copyable, not thread-safe.
class MappedFile {
 public:
  // Opens, locks, sizes and maps the file, then copies it in copying mode. Throws Win::Exception
  // with code 0, checks in order: "unable to open file" (missing, or locked by another opener),
  // "unable to get the file size" (no size, or 4 GiB and more), "unable to map the file" (empty or
  // not a regular file), "unable to map the view of the file". Nothing stays open after a failure.
  MappedFile(const std::string& fileName, bool copying);
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Copying mode: the copy, zero-terminated; otherwise the view, which has no terminating zero.
  // Valid while this object lives.
  const char* data() const { return copying ? copy.data() : view.bytes(); }
  uint32_t getSize() const { return size; }

 private:
  bool copying;
  std::string copy;
  uint32_t size = 0;
  FileHandle file;  // declared before the view, so the view is released first
  MappedView view;
};

}  // namespace velmora
