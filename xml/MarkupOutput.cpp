#include "xml/MarkupOutput.h"

#include <errno.h>

#include "engine/Errors.h"
#include "xml/FileEnv.h"

namespace velmora {

void MarkupOutput::appendDecimal(int value) {
  char digits[12];
  char* p = digits + sizeof digits;
  // Through the unsigned magnitude, so the smallest int keeps all its digits.
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = '-';
  buffer.append(p, static_cast<size_t>(digits + sizeof digits - p));
}

void MarkupOutput::flush() {
  if (!writeAll(env, descriptor, buffer.data(), buffer.size())) {
    writeError = errno;
    throwError(kCannotOpenForWriting);
  }
  buffer.clear();
}

}  // namespace velmora
