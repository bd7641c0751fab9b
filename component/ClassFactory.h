// ClassFactory: creates the component objects of the one creatable class.
#pragma once

#include <atomic>

#include "velmora/Types.h"

namespace velmora {

// Answers for IUnknown and IClassFactory only: it never hands out the component interface.
// Reference counts are atomic; the object frees itself on its last Release.
class ClassFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(const GUID& iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;
  // CLASS_E_NOAGGREGATION for an outer object; E_OUTOFMEMORY when the object cannot be made;
  // otherwise the result of the new object's QueryInterface (out null on failure).
  HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** out) override;
  HRESULT LockServer(int32_t lock) override;

 private:
  std::atomic<uint32_t> references{0};
};

}  // namespace velmora
