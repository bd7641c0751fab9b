// The in-process server's four exported entry points. Callers never include this: the runtime
// finds them by name in the loaded library.
#pragma once

#include "velmora/Types.h"

namespace velmora {

extern "C" {
// The class factory for clsid, asked for iid: CLASS_E_CLASSNOTAVAILABLE for another class,
// E_POINTER for a null out, E_OUTOFMEMORY, or the factory's QueryInterface result.
HRESULT DllGetClassObject(const GUID& clsid, const GUID& iid, void** out);
// S_OK when no factory or object is alive and no lock is held, S_FALSE otherwise.
HRESULT DllCanUnloadNow();
HRESULT DllRegisterServer();
HRESULT DllUnregisterServer();
}

}  // namespace velmora
