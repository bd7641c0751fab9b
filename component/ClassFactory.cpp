#include "component/ClassFactory.h"

#include <new>

#include "velmora/Identifiers.h"

#include "component/ComponentObject.h"
#include "component/ServerModule.h"

namespace velmora {

HRESULT ClassFactory::QueryInterface(const GUID& iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
  *out = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

uint32_t ClassFactory::AddRef() {
  moduleAddRef();
  return references.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32_t ClassFactory::Release() {
  const uint32_t remaining = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
  moduleRelease();
  if (remaining == 0) delete this;
  return remaining;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, const GUID& iid, void** out) {
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  if (out == nullptr) return E_POINTER;
  ComponentObject* object = nullptr;
  try {
    object = new ComponentObject();
  } catch (...) {  // the allocation or the database's own construction ran out of memory
    return E_OUTOFMEMORY;
  }
  const HRESULT result = object->QueryInterface(iid, out);
  if (result < 0) {
    delete object;  // never referenced: destroyed directly, not through Release
    *out = nullptr;
  }
  return result;
}

HRESULT ClassFactory::LockServer(int32_t lock) {
  if (lock != 0) {
    moduleAddRef();
  } else {
    moduleRelease();
  }
  return S_OK;
}

}  // namespace velmora
