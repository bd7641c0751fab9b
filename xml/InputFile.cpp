#include "xml/InputFile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <memory>

#include "engine/Errors.h"

namespace velmora {

namespace {

// Files are limited to 32-bit sizes, also one that grows while it is read.
constexpr long long kSizeLimit = UINT32_MAX;

}  // namespace

InputFile::InputFile(FileEnv& fileEnv, const std::string& fileName) : env(fileEnv), file(fileEnv) {
  // Non-blocking, so that naming a FIFO cannot hang the open; it is refused below as no regular
  // file.
  file.reset(env.open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
  if (!file.isOpen()) throwError(kUnableToOpenFile);
  // An exclusive lock is the sharing rule: a file that another opener holds cannot be read.
  if (env.lock(file.get(), LOCK_EX | LOCK_NB) != 0) throwError(kUnableToOpenFile);

  struct stat status;
  if (env.fstat(file.get(), &status) != 0) throwError(kUnableToGetFileSize);
  // A file of 4 GiB or more is refused, never read in part.
  if (status.st_size < 0 || status.st_size > kSizeLimit) throwError(kUnableToGetFileSize);
  if (!S_ISREG(status.st_mode) || status.st_size == 0) throwError(kUnableToMapFile);
}

size_t InputFile::read(char* into, size_t capacity) {
  for (;;) {
    const ssize_t count = env.pread(file.get(), into, capacity, static_cast<off_t>(position));
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) throwError(kCannotOpenForReading);
    position += count;
    if (position > kSizeLimit) throwError(kCannotOpenForReading);
    return static_cast<size_t>(count);
  }
}

TextPosition positionInFile(InputFile& file, long long offset) {
  constexpr size_t kChunk = size_t{64} << 10;
  const auto chunk = std::make_unique<char[]>(kChunk);
  TextPosition position;
  file.rewind();
  for (long long done = 0; done < offset;) {
    const long long wanted = offset - done < static_cast<long long>(kChunk)
                                 ? offset - done
                                 : static_cast<long long>(kChunk);
    const size_t count = file.read(chunk.get(), static_cast<size_t>(wanted));
    if (count == 0) break;  // shrunk since: the position of its end
    position.advance(chunk.get(), count);
    done += static_cast<long long>(count);
  }
  return position;
}

}  // namespace velmora
