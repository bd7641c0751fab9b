// A minimal in-process server for the runtime tests: one class whose objects answer only for
// IUnknown, counted, and registration of five keys the way a real server writes them. Built
// several times with FAKE_SERVER_NUMBER (class {FA4E000N-...}) and FAKE_SERVER_REGISTER_FAILS.
#include <atomic>
#include <string>

#include "velmora/Identifiers.h"

#include "platform/Guid.h"
#include "platform/ModulePath.h"
#include "platform/Registry.h"

#define FAKE_SERVER_EXPORT extern "C" __attribute__((visibility("default")))

using namespace velmora;

namespace {

constexpr GUID kClassId = {0xFA4E0000u + FAKE_SERVER_NUMBER,
                           0x1234,
                           0x5678,
                           {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}};

std::atomic<int> moduleCount{0};
std::atomic<int> liveObjects{0};

class FakeObject final : public IUnknown {
 public:
  FakeObject() { ++liveObjects; }
  HRESULT QueryInterface(const GUID& iid, void** out) override {
    if (iid != IID_IUnknown) return E_NOINTERFACE;
    *out = this;
    AddRef();
    return S_OK;
  }
  uint32_t AddRef() override {
    ++moduleCount;
    return ++references;
  }
  uint32_t Release() override {
    --moduleCount;
    const uint32_t left = --references;
    if (left == 0) {
      --liveObjects;
      delete this;
    }
    return left;
  }

 private:
  std::atomic<uint32_t> references{0};
};

class FakeFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(const GUID& iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    *out = this;
    AddRef();
    return S_OK;
  }
  uint32_t AddRef() override {
    ++moduleCount;
    return ++references;
  }
  uint32_t Release() override {
    --moduleCount;
    const uint32_t left = --references;
    if (left == 0) delete this;
    return left;
  }
  HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** out) override {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* object = new FakeObject;
    const HRESULT result = object->QueryInterface(iid, out);
    if (result != S_OK) {
      delete object;
      --liveObjects;
    }
    return result;
  }
  HRESULT LockServer(int32_t lock) override {
    moduleCount += lock != 0 ? 1 : -1;
    return S_OK;
  }

 private:
  std::atomic<uint32_t> references{0};
};

std::string classKey() { return "CLSID\\" + guidToString(kClassId); }
std::string progId() { return "FakeServer" + std::to_string(FAKE_SERVER_NUMBER); }

}  // namespace

FAKE_SERVER_EXPORT HRESULT DllGetClassObject(const GUID& clsid, const GUID& iid, void** out) {
  if (clsid != kClassId) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new FakeFactory;
  const HRESULT result = factory->QueryInterface(iid, out);
  if (result != S_OK) {
    delete factory;
    *out = nullptr;
  }
  return result;
}

FAKE_SERVER_EXPORT HRESULT DllCanUnloadNow() { return moduleCount == 0 ? S_OK : S_FALSE; }

FAKE_SERVER_EXPORT HRESULT DllRegisterServer() {
  if (FAKE_SERVER_REGISTER_FAILS) return E_UNEXPECTED;
  const std::string entries[][2] = {
      {classKey(), "Fake server"},
      {classKey() + "\\InprocServer32",
       modulePathOf(reinterpret_cast<const void*>(&DllRegisterServer))},
      {classKey() + "\\ProgId", progId()},
      {progId(), "Fake server"},
      {progId() + "\\CLSID", guidToString(kClassId)},
  };
  for (const auto& entry : entries) {
    if (!registrySetDefaultValue(entry[0], entry[1])) return E_UNEXPECTED;
  }
  return S_OK;
}

FAKE_SERVER_EXPORT HRESULT DllUnregisterServer() {
  for (const std::string& key : {progId() + "\\CLSID", progId(), classKey() + "\\InprocServer32",
                                 classKey() + "\\ProgId", classKey()})
    registryDeleteKey(key);
  return S_FALSE;
}

FAKE_SERVER_EXPORT int FakeServerLiveObjects() { return liveObjects; }
