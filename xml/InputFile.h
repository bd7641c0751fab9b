// InputFile: a file opened for loading, read in pieces under an exclusive lock.
#pragma once

#include <stddef.h>

#include <string>

#include "xml/FileEnv.h"
#include "xml/XmlLexer.h"

namespace velmora {

// Holds an input file open under an exclusive lock and reads it front to back; the file is
// never mapped, so a file that another process shrinks meanwhile just ends sooner. The only
// place the loaders reach the file system. Owns the descriptor (and with it the lock). Not
// copyable, not thread-safe.
class InputFile final : public ByteSource {
 public:
  // Opens, locks and sizes the file. Throws Win::Exception with code 0, checks in order:
  // "unable to open file" (missing, or locked by another opener), "unable to get the file size"
  // (no size, or 4 GiB and more), "unable to map the file" (empty or not a regular file).
  // Nothing stays open after a failure.
  // Borrows the environment for every file call.
  InputFile(FileEnv& fileEnv, const std::string& fileName);

  // The next bytes; 0 at the end of the file, also when it has shrunk below what was read.
  // Code 101 when the system cannot read it, or when it has grown to 4 GiB.
  size_t read(char* into, size_t capacity) override;
  // Reading starts over at the first byte.
  void rewind() { position = 0; }

 private:
  FileEnv& env;
  FileDescriptor file;
  long long position = 0;
};

// Line and column of the byte at offset in the file, counted by reading it again from the start
// (a failed load's position costs nothing before it fails). Throws as read does.
TextPosition positionInFile(InputFile& file, long long offset);

}  // namespace velmora
