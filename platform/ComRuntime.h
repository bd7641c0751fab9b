// The client side of the component runtime: per-thread initialisation and creation of objects of
// in-process servers registered under HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32.
#pragma once

#include <stdint.h>

#include "velmora/Types.h"

namespace velmora {

// Initialises the runtime for the calling thread; calls nest and are counted per thread. S_OK for
// the first call on the thread, S_FALSE for a nested one, E_INVALIDARG when reserved is not null
// (that call is not counted).
HRESULT CoInitialize(void* reserved);

// Ends one CoInitialize of the calling thread; ignored when there is none. After the thread's last
// one, every loaded server whose DllCanUnloadNow returns S_OK is unloaded.
void CoUninitialize();

// Creates an object of the registered class and asks it for iid; *out is set to null first. The
// checks, in order: out null → E_POINTER; thread not initialised → CO_E_NOTINITIALIZED; context
// without CLSCTX_INPROC_SERVER → REGDB_E_CLASSNOTREG; registry file or its folders not trusted
// (checkRegistryFileTrust) → E_ACCESSDENIED; registry file unreadable or malformed →
// REGDB_E_READREGDB; class or its InprocServer32 path not registered → REGDB_E_CLASSNOTREG;
// library path not trusted (checkServerLibraryTrust) → E_ACCESSDENIED, never loading it (the
// reason stays in lastCreationRefusal()); library file missing → CO_E_DLLNOTFOUND; library not
// loadable or without DllGetClassObject → CO_E_ERRORINDLL; then the failure of DllGetClassObject or
// the factory's CreateInstance, or S_OK. On success the caller owns one reference in *out. The
// server stays loaded while DllCanUnloadNow reports objects. Safe to call from several threads.
HRESULT CoCreateInstance(const GUID& clsid, IUnknown* outer, uint32_t context, const GUID& iid,
                         void** out);

}  // namespace velmora
