// GUIDs, class contexts and the two base interfaces of the component object model, as a caller
// of the Velmora component sees them on Linux x86-64 (Itanium C++ ABI).
#pragma once

#include <stdint.h>
#include <string.h>

#include "velmora/Codes.h"

namespace velmora {

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;

inline bool operator==(const GUID& a, const GUID& b) { return memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }

// Class contexts for CoCreateInstance.
inline constexpr uint32_t CLSCTX_INPROC_SERVER = 0x1;
inline constexpr uint32_t CLSCTX_LOCAL_SERVER = 0x4;

// Interfaces are abstract classes of pure virtual functions without a virtual destructor, so
// slot i of the vtable is the i-th declared method; objects free themselves in Release.
class IUnknown {
 public:
  virtual HRESULT QueryInterface(const GUID& iid, void** out) = 0;  // slot 0
  virtual uint32_t AddRef() = 0;                                    // slot 1
  virtual uint32_t Release() = 0;                                   // slot 2
};

class IClassFactory : public IUnknown {
 public:
  virtual HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** out) = 0;  // slot 3
  virtual HRESULT LockServer(int32_t lock) = 0;                                      // slot 4
};

}  // namespace velmora
