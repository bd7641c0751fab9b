#include <dlfcn.h>

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "velmora/Identifiers.h"

#include "platform/ComRuntime.h"
#include "platform/Guid.h"
#include "platform/Registry.h"
#include "tests/platform/ScopedEnvironment.h"
#include "tests/support/TempDir.h"

using namespace velmora;

namespace {

// The classes of the fake servers: {FA4E000N-1234-5678-9ABC-DEF012345678}.
GUID fakeClass(uint32_t number) {
  return {0xFA4E0000u + number, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}};
}
const GUID kClassA = fakeClass(1);
const GUID kClassB = fakeClass(2);
const GUID kUnknownInterface = fakeClass(99);

bool isLoaded(const char* path) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

class ComRuntimeTest : public TempDirTest {
 protected:
  void registerServer(const GUID& clsid, const std::string& path) {
    std::string why;
    ASSERT_TRUE(
        registrySetDefaultValue("CLSID\\" + guidToString(clsid) + "\\InprocServer32", path, &why))
        << why;
  }

  HRESULT create(const GUID& clsid, IUnknown** object,
                 uint32_t context = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER) {
    return CoCreateInstance(clsid, nullptr, context, IID_IUnknown,
                            reinterpret_cast<void**>(object));
  }

  ScopedEnvironment registryVariable{"VELMORA_REGISTRY", dir.file("registry.reg")};
};

// Brackets a test body in CoInitialize / CoUninitialize.
class Initialized {
 public:
  Initialized() { EXPECT_GE(CoInitialize(nullptr), 0); }
  ~Initialized() { CoUninitialize(); }
};

}  // namespace

TEST_F(ComRuntimeTest, InitialisationNestsPerThread) {
  EXPECT_EQ(CoInitialize(reinterpret_cast<void*>(1)), E_INVALIDARG);
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  std::thread([] {
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(kClassA, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);  // the other thread's count is its own
    CoUninitialize();
  }).join();
  CoUninitialize();
  CoUninitialize();
  CoUninitialize();  // unbalanced: ignored
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  CoUninitialize();
}

TEST_F(ComRuntimeTest, CreationFailuresReturnCodesAndNullOut) {
  registerServer(kClassA, FAKE_SERVER_A);
  writeFileBytes(dir.file("not-a-library.so"), "just text\n");
  registerServer(fakeClass(10), dir.file("missing.so"));
  registerServer(fakeClass(11), dir.file("not-a-library.so"));
  registerServer(fakeClass(12), FAKE_NOT_SERVER);
  registerServer(fakeClass(13), FAKE_SERVER_A);  // a server that does not serve this class
  IUnknown* object = reinterpret_cast<IUnknown*>(&object);  // anything but null
  EXPECT_EQ(create(kClassA, &object), CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);

  Initialized initialized;
  EXPECT_EQ(CoCreateInstance(kClassA, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
            E_POINTER);
  const struct {
    GUID clsid;
    uint32_t context;
    HRESULT expected;
  } cases[] = {
      {kClassB, CLSCTX_INPROC_SERVER, REGDB_E_CLASSNOTREG},
      {kClassA, CLSCTX_LOCAL_SERVER, REGDB_E_CLASSNOTREG},
      {fakeClass(10), CLSCTX_INPROC_SERVER, CO_E_DLLNOTFOUND},
      {fakeClass(11), CLSCTX_INPROC_SERVER, CO_E_ERRORINDLL},
      {fakeClass(12), CLSCTX_INPROC_SERVER, CO_E_ERRORINDLL},
      {fakeClass(13), CLSCTX_INPROC_SERVER, CLASS_E_CLASSNOTAVAILABLE},
  };
  for (const auto& c : cases) {
    object = reinterpret_cast<IUnknown*>(&object);
    EXPECT_EQ(create(c.clsid, &object, c.context), c.expected) << guidToString(c.clsid);
    EXPECT_EQ(object, nullptr);
  }
  void* out = &out;
  EXPECT_EQ(CoCreateInstance(kClassA, nullptr, CLSCTX_INPROC_SERVER, kUnknownInterface, &out),
            E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(CoCreateInstance(kClassA, reinterpret_cast<IUnknown*>(&out), CLSCTX_INPROC_SERVER,
                             IID_IUnknown, &out),
            CLASS_E_NOAGGREGATION);
  EXPECT_FALSE(isLoaded(FAKE_NOT_SERVER));  // a library without the entry point is let go at once
}

TEST_F(ComRuntimeTest, MalformedRegistryIsNotTakenForAnEmptyOne) {
  writeFileBytes(dir.file("registry.reg"), "not a registry\n");
  Initialized initialized;
  IUnknown* object = nullptr;
  EXPECT_EQ(create(kClassA, &object), REGDB_E_READREGDB);
}

TEST_F(ComRuntimeTest, ServerStaysLoadedWhileObjectsLiveAndUnloadsAfterLastUninitialize) {
  registerServer(kClassA, FAKE_SERVER_A);
  ASSERT_FALSE(isLoaded(FAKE_SERVER_A));
  IUnknown* object = nullptr;
  {
    Initialized outer;
    {
      Initialized nested;
      ASSERT_EQ(create(kClassA, &object), S_OK);
      ASSERT_NE(object, nullptr);
    }
    EXPECT_TRUE(isLoaded(FAKE_SERVER_A));
  }
  // The last CoUninitialize ran while the object lived: the server must stay.
  EXPECT_TRUE(isLoaded(FAKE_SERVER_A));
  EXPECT_EQ(object->Release(), 0u);
  {
    Initialized again;
    IUnknown* second = nullptr;
    ASSERT_EQ(create(kClassA, &second), S_OK);  // the loaded server is used again
    second->Release();
    EXPECT_TRUE(isLoaded(FAKE_SERVER_A));
  }
  EXPECT_FALSE(isLoaded(FAKE_SERVER_A));
}

// Threads creating and releasing objects while others initialise and uninitialise: nothing is
// unloaded from under a creation, and at the end the server is gone.
TEST_F(ComRuntimeTest, ThreadsShareTheServerSafely) {
  registerServer(kClassA, FAKE_SERVER_A);
  registerServer(kClassB, FAKE_SERVER_B);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        CoInitialize(nullptr);
        IUnknown* object = nullptr;
        if (CoCreateInstance(t % 2 ? kClassA : kClassB, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)) != S_OK) {
          ++failures;
        } else {
          object->Release();
        }
        CoUninitialize();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, 0);
  EXPECT_FALSE(isLoaded(FAKE_SERVER_A));
  EXPECT_FALSE(isLoaded(FAKE_SERVER_B));
}
