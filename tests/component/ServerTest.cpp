#include <stdlib.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Guid.h"
#include "platform/Registry.h"
#include "tests/support/ServerLibrary.h"
#include "tests/support/TempDir.h"

using namespace velmora;

namespace {

class ServerTest : public TempDirTest {
 protected:
  void SetUp() override { ASSERT_TRUE(server.loaded()) << dlerror(); }
  ServerLibrary server{VELMORA_SERVER_LIBRARY};
};

constexpr GUID kOtherGuid = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

}  // namespace

TEST_F(ServerTest, ClassObjectOnlyForOurClassAndFactoryInterfaces) {
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(server.getClassObject(kOtherGuid, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, reinterpret_cast<void*>(0x1));

  // The factory never hands out the component interface, and the failure leaves no count.
  EXPECT_EQ(server.getClassObject(CLSID_VelmoraDatabase, IID_IVelmoraDatabase, &out),
            E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(server.canUnloadNow(), S_OK);

  ASSERT_EQ(server.getClassObject(CLSID_VelmoraDatabase, IID_IUnknown, &out), S_OK);
  auto* unknown = static_cast<IUnknown*>(out);
  void* again = nullptr;
  EXPECT_EQ(unknown->QueryInterface(IID_IVelmoraDatabase, &again), E_NOINTERFACE);
  EXPECT_EQ(unknown->QueryInterface(IID_IClassFactory, &again), S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(again)->Release(), 1u);
  EXPECT_EQ(unknown->Release(), 0u);
  EXPECT_EQ(server.canUnloadNow(), S_OK);
}

TEST_F(ServerTest, CreateInstanceRules) {
  IClassFactory* factory = server.factory();
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(
      factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), IID_IVelmoraDatabase, &out),
      CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, reinterpret_cast<void*>(0x1));
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, &out), S_OK);
  auto* unknown = static_cast<IUnknown*>(out);
  void* database = nullptr;
  ASSERT_EQ(unknown->QueryInterface(IID_IVelmoraDatabase, &database), S_OK);
  EXPECT_EQ(unknown->QueryInterface(kOtherGuid, &out), E_NOINTERFACE);
  EXPECT_EQ(static_cast<IUnknown*>(database)->Release(), 1u);
  EXPECT_EQ(unknown->Release(), 0u);
  factory->Release();
}

TEST_F(ServerTest, CanUnloadOnlyWhenNothingIsAlive) {
  EXPECT_EQ(server.canUnloadNow(), S_OK);
  IClassFactory* factory = server.factory();
  EXPECT_EQ(server.canUnloadNow(), S_FALSE);
  IVelmoraDatabase* object = server.create();
  factory->LockServer(1);
  factory->Release();
  EXPECT_EQ(server.canUnloadNow(), S_FALSE);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(server.canUnloadNow(), S_FALSE);  // the lock still holds
  factory = server.factory();
  factory->LockServer(0);
  factory->Release();
  EXPECT_EQ(server.canUnloadNow(), S_OK);
}

TEST_F(ServerTest, ObjectsHaveSeparateDatabases) {
  IVelmoraDatabase* one = server.create();
  IVelmoraDatabase* two = server.create();
  int32_t index = -1;
  ASSERT_EQ(one->CreateTemporaryTable(), S_OK);
  ASSERT_EQ(one->CreateTable("t", &index), S_OK);
  EXPECT_EQ(two->GetTableIndex("t", &index), engineCode(1));
  int32_t count = -1;
  EXPECT_EQ(two->GetTableCount(&count), S_OK);
  EXPECT_EQ(count, 0);
  one->Release();
  two->Release();
}

TEST_F(ServerTest, InstancesOnSeparateThreadsAtOnce) {
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round) {
        IVelmoraDatabase* db = server.create();
        int32_t out = 0;
        db->AddRef();
        bool ok = db->CreateTemporaryTable() == S_OK && db->AddField("v", 0, &out) == S_OK &&
                  db->CreateTable("t", &out) == S_OK && db->ChooseTable("t") == S_OK &&
                  db->SetInt("v", t * 100 + round) == S_OK && db->AddRecord(&out, -1) == S_OK &&
                  db->GetInt("t", 0, "v", &out) == S_OK && out == t * 100 + round;
        if (!ok) ++failures;
        db->Release();
        db->Release();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(server.canUnloadNow(), S_OK);
}

TEST_F(ServerTest, RegistersAndUnregistersTheFiveEntries) {
  const std::string registry = dir.file("registry.reg");
  setenv("VELMORA_REGISTRY", registry.c_str(), 1);
  ASSERT_TRUE(registrySetDefaultValue("unrelated\\key", "kept"));
  ASSERT_EQ(server.registerServer(), S_OK);
  const std::string clsid = guidToString(CLSID_VelmoraDatabase);
  EXPECT_EQ(clsid, "{6B1E3F2A-9C4D-4E7B-A5D1-3F8C2B7E9A10}");
  const std::string progId = "Velmora - database engine from Dorvent";
  std::string value;
  ASSERT_TRUE(registryGetDefaultValue("CLSID\\" + clsid, value));
  EXPECT_EQ(value, "Velmora database engine from Dorvent");
  ASSERT_TRUE(registryGetDefaultValue("CLSID\\" + clsid + "\\InprocServer32", value));
  char* real = realpath(VELMORA_SERVER_LIBRARY, nullptr);
  EXPECT_EQ(value, real);
  free(real);
  ASSERT_TRUE(registryGetDefaultValue("clsid\\" + clsid + "\\ProgId", value));
  EXPECT_EQ(value, progId);
  ASSERT_TRUE(registryGetDefaultValue(progId, value));
  EXPECT_EQ(value, "Velmora database engine from Dorvent");
  ASSERT_TRUE(registryGetDefaultValue(progId + "\\CLSID", value));
  EXPECT_EQ(value, clsid);

  EXPECT_EQ(server.unregisterServer(), S_FALSE);
  EXPECT_FALSE(registryGetDefaultValue("CLSID\\" + clsid + "\\InprocServer32", value));
  EXPECT_FALSE(registryGetDefaultValue(progId, value));
  EXPECT_TRUE(registryGetDefaultValue("unrelated\\key", value));
  EXPECT_EQ(server.unregisterServer(), S_FALSE);  // nothing left to delete: still 1
  unsetenv("VELMORA_REGISTRY");
}

TEST_F(ServerTest, RegistrationFailsCleanlyOnAMalformedRegistry) {
  const std::string registry = dir.file("registry.reg");
  writeFileBytes(registry, "this is not a registry file\n");
  setenv("VELMORA_REGISTRY", registry.c_str(), 1);
  EXPECT_EQ(server.registerServer(), E_UNEXPECTED);
  EXPECT_EQ(readFileBytes(registry), "this is not a registry file\n");
  unsetenv("VELMORA_REGISTRY");
}
