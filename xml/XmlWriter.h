// The save path's output: a node tree turned into one line of markup, written to a file safely.
#pragma once

#include <stddef.h>

#include <functional>
#include <string>
#include <string_view>

namespace velmora {

class XmlNode;

// Markup collected in one buffer; with a descriptor, the buffer is written out in large chunks
// as it fills. Borrows the buffer. Code 102 "error opening file for writing" when a write fails.
// Not thread-safe.
class MarkupOutput {
 public:
  static constexpr size_t kChunkSize = size_t{1} << 20;  // bytes handed to one write call

  // A descriptor of -1 keeps everything in the buffer.
  MarkupOutput(std::string& target, int outputDescriptor)
      : buffer(target), descriptor(outputDescriptor) {}

  void append(std::string_view bytes) {
    buffer.append(bytes);
    flushWhenFull();
  }
  void append(char byte) { buffer.push_back(byte); }
  // Text content: "&" and "<" escaped, and the ">" of "]]>" too, which markup may not hold.
  void appendEscaped(std::string_view text);
  // The decimal form: an optional "-" and the digits, the smallest int with all of them.
  void appendDecimal(int value);
  // Writes the buffer out and empties it.
  void flush();

 private:
  void flushWhenFull() {
    if (descriptor >= 0 && buffer.size() >= kChunkSize) flush();
  }

  std::string& buffer;
  int descriptor;
};

// Appends the markup of the chain headed by first (each node, everything below it, and its
// following siblings) to out. A null first appends nothing.
void writeXml(const XmlNode* first, std::string& out);

// Writes what produce appends to a new temporary file beside fileName, makes it durable and
// renames it over fileName, so the old file stays whole until the new one is complete. When
// fileName is a symbolic link, the file it finally names is the one replaced (resolveSaveTarget),
// so the link stays. Code 102 "error opening file for writing", before anything is written, when
// that file is not a regular file or the links cannot be followed; any later failure (creating,
// writing, syncing, closing or renaming) throws code 102 too; a failure inside produce passes on as
// it is. Either way the old file is untouched and the temporary file removed.
void writeFileSafely(const std::string& fileName,
                     const std::function<void(MarkupOutput&)>& produce);

// Writes the markup of the document to fileName as writeFileSafely does.
void writeXmlFile(const XmlNode* document, const std::string& fileName);

}  // namespace velmora
