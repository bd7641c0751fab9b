// A dlopen handle that closes itself, and typed symbol lookup.
#pragma once

#include <dlfcn.h>

#include <string>
#include <utility>

namespace velmora {

// Owns one dlopen reference to a shared library; dlclose on destruction. Not thread-safe.
class LibraryHandle {
 public:
  LibraryHandle() = default;
  explicit LibraryHandle(void* dlopenHandle) : handle(dlopenHandle) {}
  ~LibraryHandle() { reset(); }
  LibraryHandle(LibraryHandle&& other) noexcept : handle(std::exchange(other.handle, nullptr)) {}
  LibraryHandle& operator=(LibraryHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle = std::exchange(other.handle, nullptr);
    }
    return *this;
  }
  LibraryHandle(const LibraryHandle&) = delete;
  LibraryHandle& operator=(const LibraryHandle&) = delete;

  // Loads with RTLD_NOW | RTLD_LOCAL. A path without '/' is searched for by dlopen. On failure the
  // handle is empty and error (when not null) receives dlerror's text.
  static LibraryHandle open(const std::string& path, std::string* error = nullptr) {
    void* opened = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (opened == nullptr && error != nullptr) {
      const char* text = ::dlerror();
      *error = text != nullptr ? text : "unknown dlopen failure";
    }
    return LibraryHandle(opened);
  }

  bool isOpen() const { return handle != nullptr; }

  // The function of that name, or nullptr. Valid while the library stays loaded.
  template <typename Function>
  Function* find(const char* name) const {
    if (handle == nullptr) return nullptr;
    return reinterpret_cast<Function*>(::dlsym(handle, name));
  }

  void reset() {
    if (handle != nullptr) ::dlclose(handle);
    handle = nullptr;
  }

 private:
  void* handle = nullptr;
};

}  // namespace velmora
