#include "xml/SaveTarget.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <vector>

namespace velmora {

namespace {

// The kernel's own limit on the links followed while resolving one path.
constexpr int kMaxLinks = 40;

bool fail(std::string* why, const std::string& reason) {
  if (why != nullptr) *why = reason;
  return false;
}

// The link's text; false with errno set when it cannot be read.
bool readLinkText(const std::string& link, off_t sizeHint, std::string& text) {
  std::vector<char> buffer(static_cast<size_t>(sizeHint > 0 ? sizeHint : 255) + 1);
  for (;;) {
    const ssize_t length = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (length < 0) return false;
    // A full buffer may mean a cut text (the link changed since lstat): try again, larger.
    if (static_cast<size_t>(length) < buffer.size()) {
      text.assign(buffer.data(), static_cast<size_t>(length));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

bool resolveSaveTarget(const std::string& path, std::string& target, std::string* why) {
  std::string current = path;
  for (int links = 0;; ++links) {
    struct stat status {};
    if (::lstat(current.c_str(), &status) != 0) {
      if (errno == ENOENT) break;  // a new file, named directly or by a dangling link
      return fail(why, "cannot examine " + current + ": " + ::strerror(errno));
    }
    if (!S_ISLNK(status.st_mode)) {
      if (!S_ISREG(status.st_mode)) return fail(why, current + " is not a regular file");
      break;
    }
    if (links == kMaxLinks)
      return fail(why, path + " leads through too many symbolic links (a loop?)");
    std::string text;
    if (!readLinkText(current, status.st_size, text))
      return fail(why, "cannot read the symbolic link " + current + ": " + ::strerror(errno));
    if (text.empty()) return fail(why, "the symbolic link " + current + " is empty");
    if (text.front() != '/') {
      const size_t slash = current.rfind('/');
      if (slash != std::string::npos) text = current.substr(0, slash + 1) + text;
    }
    current = std::move(text);
  }
  target = std::move(current);
  return true;
}

}  // namespace velmora
