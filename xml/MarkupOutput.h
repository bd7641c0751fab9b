// MarkupOutput: the writer's output buffer, handed to a file in large chunks as it fills.
#pragma once

#include <stddef.h>

#include <string>
#include <string_view>

#include "xml/TextCodec.h"

namespace velmora {

class FileEnv;

// Markup collected in one buffer; with a descriptor, the buffer is written out in large chunks
// as it fills. Borrows the buffer and the environment. Code 102 "error opening file for writing"
// when a write fails. Not thread-safe.
class MarkupOutput {
 public:
  static constexpr size_t kChunkSize = size_t{1} << 20;  // bytes handed to one write call

  // A descriptor of -1 keeps everything in the buffer.
  MarkupOutput(std::string& target, FileEnv& fileEnv, int outputDescriptor = -1)
      : buffer(target), env(fileEnv), descriptor(outputDescriptor) {}

  void append(std::string_view bytes) {
    buffer.append(bytes);
    flushWhenFull();
  }
  void append(char byte) { buffer.push_back(byte); }
  // Text content, escaped (see velmora::appendEscaped).
  void appendEscaped(std::string_view text) {
    velmora::appendEscaped(buffer, text);
    flushWhenFull();
  }
  // The decimal form: an optional "-" and the digits, the smallest int with all of them.
  void appendDecimal(int value);
  // Writes the buffer out and empties it.
  void flush();
  // The errno of the write that failed; 0 while none has.
  int getWriteError() const { return writeError; }

 private:
  void flushWhenFull() {
    if (descriptor >= 0 && buffer.size() >= kChunkSize) flush();
  }

  std::string& buffer;
  FileEnv& env;
  int descriptor;
  int writeError = 0;
};

}  // namespace velmora
