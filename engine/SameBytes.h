// sameBytes: equality of two short byte runs of one length, compared in place without a call.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

namespace velmora {

namespace bytes {

inline uint64_t loadWord(const char* p) {
  uint64_t word;
  memcpy(&word, p, sizeof word);
  return word;
}

inline uint32_t loadHalf(const char* p) {
  uint32_t word;
  memcpy(&word, p, sizeof word);
  return word;
}

}  // namespace bytes

// Names are short and compared on every by-name call and every tag read: a word at a time, the
// last word overlapping the one before.
inline bool sameBytes(const char* a, const char* b, size_t size) {
  if (size >= 8) {
    for (size_t at = 0; at + 8 < size; at += 8) {
      if (bytes::loadWord(a + at) != bytes::loadWord(b + at)) return false;
    }
    return bytes::loadWord(a + size - 8) == bytes::loadWord(b + size - 8);
  }
  if (size >= 4) {
    return bytes::loadHalf(a) == bytes::loadHalf(b) &&
           bytes::loadHalf(a + size - 4) == bytes::loadHalf(b + size - 4);
  }
  for (size_t i = 0; i < size; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace velmora
