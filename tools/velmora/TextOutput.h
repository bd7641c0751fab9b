// The text forms of exported values: JSON strings, the aligned table, and buffered output.
#pragma once

#include <stdio.h>

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Appends value as a JSON string (with its quotes). Bytes that are not part of valid UTF-8 cannot
// appear in JSON text: each such byte becomes U+FFFD, and the count of them is returned so the
// caller can warn that the value was changed. Control characters are escaped.
int appendJsonString(std::string_view value, std::string& out);

// Length of the longest valid UTF-8 sequence at the start of bytes (1 to 4), or 0 when the first
// byte does not begin one (overlong forms, surrogates and values above U+10FFFF included).
int utf8SequenceLength(std::string_view bytes);

// Appends rows (the first one the header) as columns padded to their widest cell, counted in
// characters, separated by two spaces, with a dashed line under the header. Line breaks and tabs
// inside a cell are shown as \n, \r and \t so every row stays on one line.
void appendTextTable(const std::vector<std::vector<std::string>>& rows, std::string& out);

// Output collected in one string and written to a stream in large pieces. Not thread-safe.
class BufferedOutput {
 public:
  static constexpr size_t kFlushSize = size_t{1} << 20;
  explicit BufferedOutput(FILE* target) : stream(target) {}
  ~BufferedOutput() { flush(); }
  BufferedOutput(const BufferedOutput&) = delete;
  BufferedOutput& operator=(const BufferedOutput&) = delete;

  std::string& text() { return buffer; }
  // Writes out once the buffer is big enough; call after each record.
  void maybeFlush() {
    if (buffer.size() >= kFlushSize) flush();
  }
  // False when the stream reported a write failure (now or before).
  bool flush();

 private:
  FILE* stream;
  std::string buffer;
  bool failed = false;
};

// A progress line on stderr for long work, shown only when stderr is a terminal and the input is
// big (kThreshold bytes); rewritten in place at most a few times a second and erased at the end.
class ProgressLine {
 public:
  static constexpr long long kThreshold = 50LL * 1024 * 1024;
  ProgressLine(std::string_view label, long long inputBytes);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void update(long long done, long long total);

 private:
  std::string what;
  bool enabled;
  long long lastShown = -1;
  double lastTime = 0;
};

}  // namespace velmora
