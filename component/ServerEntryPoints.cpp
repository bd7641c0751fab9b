#include "component/ServerEntryPoints.h"

#include <string>

#include "velmora/Identifiers.h"

#include "component/ClassFactory.h"
#include "component/ServerModule.h"
#include "platform/Guid.h"
#include "platform/ModulePath.h"
#include "platform/Registry.h"

#define VELMORA_EXPORT __attribute__((visibility("default")))

namespace velmora {

namespace {

const char kDescription[] = "Velmora database engine from Dorvent";
const char kProgId[] = "Velmora - database engine from Dorvent";

}  // namespace

extern "C" VELMORA_EXPORT HRESULT DllGetClassObject(const GUID& clsid, const GUID& iid,
                                                    void** out) {
  if (clsid != CLSID_VelmoraDatabase) return CLASS_E_CLASSNOTAVAILABLE;
  if (out == nullptr) return E_POINTER;
  ClassFactory* factory = nullptr;
  try {
    factory = new ClassFactory();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  const HRESULT result = factory->QueryInterface(iid, out);
  if (result < 0) {
    delete factory;  // never referenced: destroyed directly, not through Release
    *out = nullptr;
  }
  return result;
}

extern "C" VELMORA_EXPORT HRESULT DllCanUnloadNow() { return moduleCount() != 0 ? S_FALSE : S_OK; }

// Writes the five registry entries in order and stops at the first failure (entries written
// before it stay). The module path is taken whole: a path is never cut to a fixed buffer.
extern "C" VELMORA_EXPORT HRESULT DllRegisterServer() {
  try {
    const std::string clsid = guidToString(CLSID_VelmoraDatabase);
    const std::string modulePath = modulePathOf(reinterpret_cast<const void*>(&DllRegisterServer));
    if (modulePath.empty()) return E_UNEXPECTED;
    const std::pair<std::string, std::string> entries[] = {
        {"clsid\\" + clsid, kDescription},
        {"clsid\\" + clsid + "\\InprocServer32", modulePath},
        {"clsid\\" + clsid + "\\ProgId", kProgId},
        {kProgId, kDescription},
        {std::string(kProgId) + "\\CLSID", clsid},
    };
    for (const auto& [key, value] : entries) {
      if (!registrySetDefaultValue(key, value)) return E_UNEXPECTED;
    }
    return S_OK;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// Deletes the five keys, subkeys first, ignoring every result.
extern "C" VELMORA_EXPORT HRESULT DllUnregisterServer() {
  try {
    const std::string clsid = guidToString(CLSID_VelmoraDatabase);
    registryDeleteKey(std::string(kProgId) + "\\CLSID");
    registryDeleteKey(kProgId);
    registryDeleteKey("CLSID\\" + clsid + "\\InprocServer32");
    registryDeleteKey("CLSID\\" + clsid + "\\ProgId");
    registryDeleteKey("CLSID\\" + clsid);
  } catch (...) {  // nothing may cross the entry point
  }
  return S_FALSE;
}

}  // namespace velmora
