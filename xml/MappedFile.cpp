#include "xml/MappedFile.h"

#include <fcntl.h>
#include <stdint.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include "engine/Errors.h"

namespace velmora {

void MappedView::unmap() {
  if (address == nullptr) return;
  env.unmap(const_cast<void*>(address), length);
  address = nullptr;
  length = 0;
}

// Each resource goes straight into its member, so a failure part way releases what was taken,
// the view before the file, through the members' destructors.
MappedFile::MappedFile(FileEnv& fs, const std::string& fileName) : file(fs), view(fs) {
  // Non-blocking, so that naming a FIFO cannot hang the open; it is refused below as no regular
  // file.
  file.reset(fs.open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
  if (!file.isOpen()) throwError(kUnableToOpenFile);
  // An exclusive lock is the sharing rule: a file that another opener holds cannot be read.
  if (fs.lock(file.get(), LOCK_EX | LOCK_NB) != 0) throwError(kUnableToOpenFile);

  struct stat status;
  if (fs.fstat(file.get(), &status) != 0) throwError(kUnableToGetFileSize);
  // The size is kept in 32 bits: a file of 4 GiB or more is refused, never read in part.
  if (status.st_size < 0 || static_cast<uint64_t>(status.st_size) > UINT32_MAX) {
    throwError(kUnableToGetFileSize);
  }
  // Nothing can be mapped from an empty file, and only a regular file has a fixed size to map.
  if (!S_ISREG(status.st_mode) || status.st_size == 0) throwError(kUnableToMapFile);
  const size_t length = static_cast<size_t>(status.st_size);

  void* address = fs.map(file.get(), length);
  if (address == MAP_FAILED) throwError(kUnableToMapView);
  view.reset(address, length);
  size = static_cast<uint32_t>(length);
}

}  // namespace velmora
