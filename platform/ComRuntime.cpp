#include "platform/ComRuntime.h"

#include <errno.h>
#include <unistd.h>

#include <list>
#include <mutex>
#include <string>

#include "velmora/Identifiers.h"

#include "platform/Guid.h"
#include "platform/LibraryHandle.h"
#include "platform/Registry.h"
#include "platform/RegistryTrust.h"

namespace velmora {

namespace {

using GetClassObjectFunction = HRESULT(const GUID& clsid, const GUID& iid, void** out);
using CanUnloadNowFunction = HRESULT();

// One loaded server library. The entry points stay valid while library holds it loaded.
struct LoadedServer {
  std::string path;  // as registered
  LibraryHandle library;
  GetClassObjectFunction* getClassObject = nullptr;
  CanUnloadNowFunction* canUnloadNow = nullptr;  // nullptr: never unloaded
  int creationsInProgress = 0;  // a server in use by CoCreateInstance is never unloaded
};

// The servers loaded by this process, shared by all threads; every member runs under the mutex.
class ServerTable {
 public:
  // The loaded server for path, loading it first when needed, and marked in use until release().
  // nullptr with result set when it cannot be loaded.
  LoadedServer* acquire(const std::string& path, HRESULT& result) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (LoadedServer* server = findAndPin(path)) return server;
    }
    // Loaded outside the lock, so that a library's constructors may use the runtime.
    LoadedServer loaded;
    loaded.path = path;
    loaded.library = LibraryHandle::open(path);
    if (!loaded.library.isOpen()) {
      result = ::access(path.c_str(), F_OK) != 0 && (errno == ENOENT || errno == ENOTDIR)
                   ? CO_E_DLLNOTFOUND
                   : CO_E_ERRORINDLL;
      return nullptr;
    }
    loaded.getClassObject = loaded.library.find<GetClassObjectFunction>("DllGetClassObject");
    loaded.canUnloadNow = loaded.library.find<CanUnloadNowFunction>("DllCanUnloadNow");
    if (loaded.getClassObject == nullptr) {
      result = CO_E_ERRORINDLL;
      return nullptr;
    }
    std::lock_guard<std::mutex> lock(mutex);
    // Another thread may have loaded it meanwhile; then our extra reference just goes away.
    if (LoadedServer* server = findAndPin(path)) return server;
    servers.push_back(std::move(loaded));
    servers.back().creationsInProgress = 1;
    return &servers.back();
  }

  void release(LoadedServer* server) {
    std::lock_guard<std::mutex> lock(mutex);
    --server->creationsInProgress;
  }

  void unloadUnused() {
    std::lock_guard<std::mutex> lock(mutex);
    for (auto it = servers.begin(); it != servers.end();) {
      const bool unload =
          it->creationsInProgress == 0 && it->canUnloadNow != nullptr && it->canUnloadNow() == S_OK;
      it = unload ? servers.erase(it) : std::next(it);
    }
  }

 private:
  LoadedServer* findAndPin(const std::string& path) {
    for (LoadedServer& server : servers) {
      if (server.path == path) {
        ++server.creationsInProgress;
        return &server;
      }
    }
    return nullptr;
  }

  std::mutex mutex;
  std::list<LoadedServer> servers;  // a list, so that entries keep their address
};

// Never destroyed: threads still running at exit may use it, and unloading libraries during
// static destruction would pull code from under objects that are still alive.
ServerTable& serverTable() {
  static ServerTable* table = new ServerTable;
  return *table;
}

// Releases the in-use mark of a server on every path out of CoCreateInstance.
class ServerUse {
 public:
  explicit ServerUse(LoadedServer* used) : server(used) {}
  ~ServerUse() { serverTable().release(server); }
  ServerUse(const ServerUse&) = delete;
  ServerUse& operator=(const ServerUse&) = delete;

 private:
  LoadedServer* server;
};

thread_local int initializeCount = 0;

}  // namespace

HRESULT CoInitialize(void* reserved) {
  if (reserved != nullptr) return E_INVALIDARG;
  return initializeCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
  if (initializeCount == 0) return;
  if (--initializeCount == 0) serverTable().unloadUnused();
}

HRESULT CoCreateInstance(const GUID& clsid, IUnknown* outer, uint32_t context, const GUID& iid,
                         void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (initializeCount == 0) return CO_E_NOTINITIALIZED;
  if ((context & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  clearCreationRefusal();
  std::string path, distrust;
  if (!checkRegistryFileTrust(registryFilePath(), &distrust)) return refuseCreation(distrust);
  switch (registryLookupDefaultValue("CLSID\\" + guidToString(clsid) + "\\InprocServer32", path)) {
    case RegistryLookup::Found:
      break;
    case RegistryLookup::Absent:
      return REGDB_E_CLASSNOTREG;
    case RegistryLookup::Failed:
      return REGDB_E_READREGDB;
  }
  if (path.empty()) return REGDB_E_CLASSNOTREG;
  if (!checkServerLibraryTrust(path, &distrust)) return refuseCreation(distrust);
  HRESULT result = S_OK;
  LoadedServer* server = serverTable().acquire(path, result);
  if (server == nullptr) return result;
  ServerUse use(server);
  IClassFactory* factory = nullptr;
  result = server->getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (result < 0) return result;
  if (factory == nullptr) return E_UNEXPECTED;
  result = factory->CreateInstance(outer, iid, out);
  factory->Release();
  if (result < 0) *out = nullptr;
  return result;
}

}  // namespace velmora
