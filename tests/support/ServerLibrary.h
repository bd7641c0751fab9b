// Loads the built component library and creates objects through its exported entry points.
#pragma once

#include <dlfcn.h>

#include <string>

#include <gtest/gtest.h>

#include "velmora/IVelmoraDatabase.h"
#include "velmora/Identifiers.h"

namespace velmora {

class ServerLibrary {
 public:
  explicit ServerLibrary(const char* path) : handle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
    if (handle == nullptr) return;
    getClassObject = reinterpret_cast<decltype(getClassObject)>(dlsym(handle, "DllGetClassObject"));
    canUnloadNow = reinterpret_cast<decltype(canUnloadNow)>(dlsym(handle, "DllCanUnloadNow"));
    registerServer = reinterpret_cast<decltype(registerServer)>(dlsym(handle, "DllRegisterServer"));
    unregisterServer =
        reinterpret_cast<decltype(unregisterServer)>(dlsym(handle, "DllUnregisterServer"));
  }
  ~ServerLibrary() {
    if (handle != nullptr) dlclose(handle);
  }
  ServerLibrary(const ServerLibrary&) = delete;
  ServerLibrary& operator=(const ServerLibrary&) = delete;

  bool loaded() const { return handle != nullptr && getClassObject != nullptr; }

  IClassFactory* factory() {
    void* out = nullptr;
    EXPECT_EQ(getClassObject(CLSID_VelmoraDatabase, IID_IClassFactory, &out), S_OK);
    return static_cast<IClassFactory*>(out);
  }

  // A new object answering for the component interface (one reference, the caller's).
  IVelmoraDatabase* create() {
    IClassFactory* classFactory = factory();
    void* out = nullptr;
    EXPECT_EQ(classFactory->CreateInstance(nullptr, IID_IVelmoraDatabase, &out), S_OK);
    classFactory->Release();
    return static_cast<IVelmoraDatabase*>(out);
  }

  void* handle;
  HRESULT (*getClassObject)(const GUID&, const GUID&, void**) = nullptr;
  HRESULT (*canUnloadNow)() = nullptr;
  HRESULT (*registerServer)() = nullptr;
  HRESULT (*unregisterServer)() = nullptr;
};

// The engine's result code for an engine error code.
constexpr HRESULT engineCode(int code) {
  return static_cast<HRESULT>(0x80040200u + static_cast<uint32_t>(code));
}

}  // namespace velmora
