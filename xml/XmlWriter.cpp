#include "xml/XmlWriter.h"

#include <errno.h>
#include <fcntl.h>
#include <stddef.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <string_view>

#include "engine/Errors.h"
#include "xml/FileSystem.h"
#include "xml/SaveTarget.h"
#include "xml/XmlNode.h"

namespace velmora {

namespace {

void writeChain(const XmlNode* first, MarkupOutput& out) {
  if (first == nullptr) return;
  const XmlElement* const top = first->getParent();
  const XmlNode* node = first;
  // A walk over the tree through the parent links: no recursion, whatever the depth.
  while (node != nullptr) {
    switch (node->getKind()) {
      case NodeKind::Element: {
        const auto& element = static_cast<const XmlElement&>(*node);
        out.append('<');
        out.append(element.getName());
        if (element.getFirstChild() != nullptr) {
          out.append('>');
          node = element.getFirstChild();
          continue;
        }
        out.append("/>");
        break;
      }
      case NodeKind::Text:
        out.appendEscaped(static_cast<const XmlText&>(*node).getText());
        break;
      case NodeKind::Comment:
        out.append("<!--");
        out.append(static_cast<const XmlComment&>(*node).getText());
        out.append("-->");
        break;
    }
    while (node->getNext() == nullptr) {
      const XmlElement* parent = node->getParent();
      if (parent == top) return;
      out.append("</");
      out.append(parent->getName());
      out.append('>');
      node = parent;
    }
    node = node->getNext();
  }
}

std::string directoryOf(const std::string& fileName) {
  const size_t slash = fileName.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return fileName.substr(0, slash);
}

// A new file "<target>.tmp-XXXXXX" beside the target, removed again unless it was renamed over
// the target. Created with O_EXCL and mode 0666 less the umask, as a plain create would be.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& targetName) : target(targetName) {
    const FileSystem& fs = currentFileSystem();
    static std::atomic<unsigned> sequence{0};
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100 && !file.isOpen(); ++attempt) {
      timespec now{};
      clock_gettime(CLOCK_REALTIME, &now);
      unsigned long long seed =
          static_cast<unsigned long long>(now.tv_nsec) ^
          (static_cast<unsigned long long>(getpid()) << 20) ^
          (static_cast<unsigned long long>(sequence++) * 0x9E3779B97F4A7C15ull);
      std::string name = target + ".tmp-";
      for (int i = 0; i < 6; ++i) {
        name.push_back(kLetters[seed % 62]);
        seed /= 62;
      }
      const int created = fs.open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (created >= 0) {
        file.reset(created);
        path = name;
      } else if (errno != EEXIST) {
        break;
      }
    }
    if (!file.isOpen()) throwError(kCannotOpenForWriting);
  }

  ~TemporaryFile() {
    if (path.empty()) return;
    file.close();
    currentFileSystem().unlink(path.c_str());
  }

  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int descriptor() const { return file.get(); }

  // A file that is replaced keeps its permission bits. Code 102 when they cannot be set.
  void takeTargetMode() {
    const FileSystem& fs = currentFileSystem();
    struct stat existing;
    if (fs.stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
        fs.fchmod(file.get(), existing.st_mode & 07777) != 0) {
      throwError(kCannotOpenForWriting);
    }
  }

  // Syncs and closes the file, renames it over the target and syncs the directory, so the new
  // content and its name survive a crash. Code 102 on any failure.
  void commit() {
    const FileSystem& fs = currentFileSystem();
    if (fs.fsync(file.get()) != 0) throwError(kCannotOpenForWriting);
    if (!file.close()) throwError(kCannotOpenForWriting);
    if (fs.rename(path.c_str(), target.c_str()) != 0) throwError(kCannotOpenForWriting);
    path.clear();  // renamed: nothing left to remove

    FileHandle directory(
        fs.open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (!directory.isOpen() || fs.fsync(directory.get()) != 0) {
      throwError(kCannotOpenForWriting);
    }
  }

 private:
  std::string target;
  std::string path;  // empty once renamed
  FileHandle file;
};

}  // namespace

void MarkupOutput::appendEscaped(std::string_view text) {
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const char* run = begin;
  for (const char* p = begin; p < end; ++p) {
    const char* replacement;
    if (*p == '&') {
      replacement = "&amp;";
    } else if (*p == '<') {
      replacement = "&lt;";
    } else if (*p == '>' && p - begin >= 2 && p[-1] == ']' && p[-2] == ']') {
      replacement = "&gt;";
    } else {
      continue;
    }
    buffer.append(run, static_cast<size_t>(p - run));
    buffer.append(replacement);
    run = p + 1;
  }
  buffer.append(run, static_cast<size_t>(end - run));
  flushWhenFull();
}

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
  const FileSystem& fs = currentFileSystem();
  const char* cursor = buffer.data();
  size_t left = buffer.size();
  while (left > 0) {
    const ssize_t written = fs.write(descriptor, cursor, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) throwError(kCannotOpenForWriting);
    cursor += written;
    left -= static_cast<size_t>(written);
  }
  buffer.clear();
}

void writeXml(const XmlNode* first, std::string& out) {
  MarkupOutput output(out, -1);
  writeChain(first, output);
}

void writeFileSafely(const std::string& fileName,
                     const std::function<void(MarkupOutput&)>& produce) {
  std::string target;  // through symbolic links, so that a link stays a link
  if (!resolveSaveTarget(fileName, target)) throwError(kCannotOpenForWriting);
  TemporaryFile temporary(target);
  temporary.takeTargetMode();
  std::string buffer;
  buffer.reserve(MarkupOutput::kChunkSize + 4096);
  MarkupOutput output(buffer, temporary.descriptor());
  produce(output);
  output.flush();
  temporary.commit();
}

void writeXmlFile(const XmlNode* document, const std::string& fileName) {
  writeFileSafely(fileName, [&](MarkupOutput& output) { writeChain(document, output); });
}

}  // namespace velmora
