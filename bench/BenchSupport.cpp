#include "bench/BenchSupport.h"

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "velmora/Identifiers.h"

namespace velmora {

namespace {

[[noreturn]] void fail(const std::string& message) {
  fprintf(stderr, "velmora_bench: %s\n", message.c_str());
  exit(2);
}

// The component library, opened once and kept for the life of the process.
class ComponentLibrary {
 public:
  ComponentLibrary() {
    const char* configured = getenv("VELMORA_BENCH_LIBRARY");
    const std::string path = configured != nullptr ? configured : VELMORA_SERVER_LIBRARY;
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) fail("cannot load " + path + ": " + dlerror());
    getClassObject = reinterpret_cast<decltype(getClassObject)>(dlsym(handle, "DllGetClassObject"));
    if (getClassObject == nullptr) fail(path + " exports no DllGetClassObject");
    void* out = nullptr;
    if (getClassObject(CLSID_VelmoraDatabase, IID_IClassFactory, &out) != S_OK) {
      fail("DllGetClassObject refused the database class");
    }
    factory = static_cast<IClassFactory*>(out);
  }

  IVelmoraDatabase* create() {
    void* out = nullptr;
    if (factory->CreateInstance(nullptr, IID_IVelmoraDatabase, &out) != S_OK) {
      fail("CreateInstance failed");
    }
    return static_cast<IVelmoraDatabase*>(out);
  }

 private:
  void* handle;
  HRESULT (*getClassObject)(const GUID&, const GUID&, void**) = nullptr;
  IClassFactory* factory = nullptr;  // kept, like the handle, until the process ends
};

std::vector<int64_t> sizesFrom(const char* variable, std::vector<int64_t> defaults) {
  const char* text = getenv(variable);
  if (text == nullptr || *text == '\0') return defaults;
  std::vector<int64_t> sizes;
  const char* cursor = text;
  while (*cursor != '\0') {
    char* after = nullptr;
    const long long value = strtoll(cursor, &after, 10);
    if (value <= 0 || (*after != ',' && *after != '\0')) {
      fail(std::string("bad size list in ") + variable + ": " + text);
    }
    sizes.push_back(value);
    cursor = *after == ',' ? after + 1 : after;
  }
  return sizes;
}

class ScratchDirectory {
 public:
  ScratchDirectory() {
    const char* configured = getenv("VELMORA_BENCH_DIR");
    if (configured != nullptr && *configured != '\0') {
      path = configured;
      if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) fail("cannot create " + path);
      return;
    }
    const char* temporary = getenv("TMPDIR");
    std::string pattern =
        std::string(temporary != nullptr ? temporary : "/tmp") + "/velmora-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) fail("cannot create a scratch directory");
    path = pattern;
    owned = true;
  }
  ~ScratchDirectory() {
    if (!owned) return;
    if (DIR* directory = opendir(path.c_str())) {
      while (const dirent* entry = readdir(directory)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") unlink((path + "/" + name).c_str());
      }
      closedir(directory);
    }
    rmdir(path.c_str());
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  std::string path;
  bool owned = false;
};

// Writes all bytes, retrying short writes.
bool writeAll(int descriptor, std::string_view bytes) {
  const char* cursor = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t written = write(descriptor, cursor, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    cursor += written;
    left -= static_cast<size_t>(written);
  }
  return true;
}

size_t statusField(const char* field) {
  FILE* status = fopen("/proc/self/status", "r");
  if (status == nullptr) return 0;
  char line[256];
  size_t kilobytes = 0;
  const size_t length = strlen(field);
  while (fgets(line, sizeof line, status) != nullptr) {
    if (strncmp(line, field, length) == 0 && line[length] == ':') {
      kilobytes = strtoull(line + length + 1, nullptr, 10);
      break;
    }
  }
  fclose(status);
  return kilobytes * 1024;
}

}  // namespace

ComponentInstance createInstance() {
  static ComponentLibrary library;
  return ComponentInstance(library.create());
}

void recordSizes(benchmark::internal::Benchmark* benchmark) {
  for (const int64_t n : sizesFrom("VELMORA_BENCH_SIZES", {200000, 1000000})) benchmark->Arg(n);
}

void cascadeSizes(benchmark::internal::Benchmark* benchmark) {
  for (const int64_t k : sizesFrom("VELMORA_BENCH_CASCADE", {1000, 10000, 100000})) {
    benchmark->Arg(k);
  }
}

std::string scratchFile(const std::string& name) {
  static ScratchDirectory directory;
  return directory.path + "/" + name;
}

size_t fileSize(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return 0;
  return static_cast<size_t>(status.st_size);
}

std::string readFile(const std::string& path) {
  std::string bytes;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  char chunk[1 << 16];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
  fclose(file);
  return bytes;
}

bool writeFile(const std::string& path, std::string_view bytes, bool durable) {
  if (!durable) {
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor < 0) return false;
    const bool written = writeAll(descriptor, bytes);
    return close(descriptor) == 0 && written;
  }
  std::string temporary = path + ".tmp-XXXXXX";
  const int descriptor = mkstemp(temporary.data());
  if (descriptor < 0) return false;
  bool ok = writeAll(descriptor, bytes) && fsync(descriptor) == 0;
  ok = close(descriptor) == 0 && ok;
  ok = ok && rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    unlink(temporary.c_str());
    return false;
  }
  const size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int directoryDescriptor = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directoryDescriptor < 0) return false;
  ok = fsync(directoryDescriptor) == 0;
  return close(directoryDescriptor) == 0 && ok;
}

size_t heapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

bool warmHeap() {
  static const bool warm = [] {
    const char* regime = getenv("VELMORA_BENCH_HEAP");
    if (regime == nullptr || *regime == '\0' || strcmp(regime, "cold") == 0) return false;
    if (strcmp(regime, "warm") == 0) return true;
    fail(std::string("VELMORA_BENCH_HEAP must be cold or warm, not ") + regime);
  }();
  return warm;
}

void freshHeap() {
  if (!warmHeap()) malloc_trim(0);
}

void settleDisk() { sync(); }

void resetPeakResident() {
  malloc_trim(0);  // in both regimes: the peak counts from what the process really holds
  // "5" restarts the peak resident size from the current one (Linux 4.0 and later).
  if (FILE* refs = fopen("/proc/self/clear_refs", "w")) {
    fputs("5", refs);
    fclose(refs);
  }
}

size_t residentBytes() { return statusField("VmRSS"); }

size_t peakResidentBytes() { return statusField("VmHWM"); }

}  // namespace velmora
