// Separate instances on many threads at once (four per core), each building its own database,
// saving it to its own file, loading it into a second instance and checking every value, while
// another thread keeps creating and releasing instances and asking whether the library may be
// unloaded. Run under ThreadSanitizer in CI.
#include <stdint.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/ServerLibrary.h"
#include "tests/support/TempDir.h"

using namespace velmora;

namespace {

constexpr int kRecords = 400;
constexpr int kRounds = 10;

class ConcurrencyTest : public TempDirTest {
 protected:
  void SetUp() override { ASSERT_TRUE(server.loaded()) << dlerror(); }

  // One worker: its own instances and file; every value it wrote must come back.
  void work(int worker) {
    const std::string file = dir.file("worker" + std::to_string(worker) + ".xml");
    for (int round = 0; round < kRounds; ++round) {
      IVelmoraDatabase* writer = server.create();
      IVelmoraDatabase* reader = server.create();
      ASSERT_NE(writer, nullptr);
      ASSERT_NE(reader, nullptr);
      define(*writer);
      define(*reader);
      int32_t out = 0;
      for (int r = 0; r < kRecords; ++r) {
        ASSERT_EQ(writer->ChooseTable("item"), S_OK);
        ASSERT_EQ(writer->SetString("label", label(worker, round, r).c_str()), S_OK);
        ASSERT_EQ(writer->SetInt("number", worker * 100000 + r), S_OK);
        ASSERT_EQ(writer->SetRelation("previous", r == 0 ? 0 : r - 1), S_OK);
        ASSERT_EQ(writer->AddRecord(&out, -1), S_OK);
      }
      uint8_t flag = 0;
      ASSERT_EQ(writer->Save(file.c_str(), &flag), S_OK);
      ASSERT_EQ(reader->Load(file.c_str(), &flag), S_OK);
      ASSERT_EQ(flag, 1);
      int32_t count = 0;
      ASSERT_EQ(reader->GetRecordCount("item", &count), S_OK);
      ASSERT_EQ(count, kRecords);
      for (int r = 0; r < kRecords; ++r) {
        const char* text = nullptr;
        ASSERT_EQ(reader->GetStringAt(0, r, 0, &text), S_OK);
        ASSERT_EQ(text, label(worker, round, r));
        ASSERT_EQ(reader->GetIntAt(0, r, 1, &out), S_OK);
        ASSERT_EQ(out, worker * 100000 + r);
        ASSERT_EQ(reader->GetChildCountAt(0, r, 0, &out), S_OK);
        ASSERT_EQ(out, r == 0 ? 2 : (r == kRecords - 1 ? 0 : 1));
      }
      EXPECT_EQ(reader->DeleteRecordAt(0, 0), S_OK);  // the whole chain goes
      ASSERT_EQ(reader->RecordExistsAt(0, kRecords - 1, &flag), S_OK);
      EXPECT_EQ(flag, 0);
      EXPECT_EQ(writer->Release(), 0u);
      EXPECT_EQ(reader->Release(), 0u);
    }
  }

  static void define(IVelmoraDatabase& db) {
    int32_t out = 0;
    ASSERT_EQ(db.CreateTemporaryTable(), S_OK);
    ASSERT_EQ(db.AddField("label", 1, &out), S_OK);
    ASSERT_EQ(db.AddField("number", 0, &out), S_OK);
    ASSERT_EQ(db.AddRelationField("previous", "item", &out), S_OK);
    ASSERT_EQ(db.CreateTable("item", &out), S_OK);
  }

  static std::string label(int worker, int round, int record) {
    return "w" + std::to_string(worker) + " r" + std::to_string(round) + " & <" +
           std::to_string(record) + ">";
  }

  ServerLibrary server{VELMORA_SERVER_LIBRARY};
};

}  // namespace

TEST_F(ConcurrencyTest, InstancesOnManyThreadsStayIndependent) {
  const int workers = static_cast<int>(std::max(2u, std::thread::hardware_concurrency())) * 4;
  std::atomic<int> running{workers};
  std::atomic<long> churned{0};
  std::atomic<long> busyAnswers{0};

  // Creates and releases instances and factories, locks and unlocks the server, and checks that
  // the library never claims it may be unloaded while something of it is alive.
  std::thread churn([&] {
    while (running.load() > 0) {
      IClassFactory* factory = server.factory();
      void* out = nullptr;
      ASSERT_EQ(factory->CreateInstance(nullptr, IID_IVelmoraDatabase, &out), S_OK);
      auto* db = static_cast<IVelmoraDatabase*>(out);
      ASSERT_EQ(factory->LockServer(1), S_OK);
      EXPECT_EQ(server.canUnloadNow(), S_FALSE);
      int32_t count = -1;
      EXPECT_EQ(db->GetTableCount(&count), S_OK);
      EXPECT_EQ(count, 0);  // a fresh instance shares nothing with the workers'
      ASSERT_EQ(factory->LockServer(0), S_OK);
      EXPECT_EQ(factory->Release(), 0u);
      EXPECT_EQ(server.canUnloadNow(), S_FALSE);  // db is still alive
      busyAnswers += 2;
      EXPECT_EQ(db->Release(), 0u);
      ++churned;
    }
  });

  std::vector<std::thread> threads;
  for (int worker = 0; worker < workers; ++worker) {
    threads.emplace_back([&, worker] {
      work(worker);
      --running;
    });
  }
  for (std::thread& thread : threads) thread.join();
  churn.join();

  EXPECT_EQ(server.canUnloadNow(), S_OK);  // everything released
  printf(
      "[ reliability ] %d worker threads x %d rounds of %d records; %ld instances churned, "
      "%ld unload checks answered 'busy'\n",
      workers, kRounds, kRecords, churned.load(), busyAnswers.load());
  EXPECT_GT(churned.load(), 0);
}

// Two instances saving different databases to one file at the same moment, again and again:
// their temporary files never collide, each save succeeds, and the file always holds one of the
// two databases in full.
TEST_F(ConcurrencyTest, SimultaneousSavesToOneFileLeaveOneWholeDatabase) {
  const std::string target = dir.file("shared.xml");
  IVelmoraDatabase* instances[2] = {server.create(), server.create()};
  std::string versions[2];
  for (int i = 0; i < 2; ++i) {
    define(*instances[i]);
    int32_t out = 0;
    for (int r = 0; r < 200 * (i + 1); ++r) {
      ASSERT_EQ(instances[i]->ChooseTableAt(0), S_OK);
      ASSERT_EQ(instances[i]->SetStringAt(0, label(i, 0, r).c_str()), S_OK);
      ASSERT_EQ(instances[i]->AddRecord(&out, -1), S_OK);
    }
    const std::string own = dir.file("version" + std::to_string(i));
    uint8_t saved = 0;
    ASSERT_EQ(instances[i]->Save(own.c_str(), &saved), S_OK);
    versions[i] = readFileBytes(own);
  }
  for (int round = 0; round < 50; ++round) {
    std::atomic<int> ready{0};
    HRESULT results[2] = {E_FAIL, E_FAIL};
    std::thread savers[2];
    for (int i = 0; i < 2; ++i) {
      savers[i] = std::thread([&, i] {
        ++ready;
        while (ready.load() < 2) {
        }
        uint8_t saved = 0;
        results[i] = instances[i]->Save(target.c_str(), &saved);
      });
    }
    for (std::thread& saver : savers) saver.join();
    ASSERT_EQ(results[0], S_OK);
    ASSERT_EQ(results[1], S_OK);
    const std::string bytes = readFileBytes(target);
    ASSERT_TRUE(bytes == versions[0] || bytes == versions[1]) << "round " << round;
    ASSERT_EQ(listDirectory(dir.path()),
              (std::vector<std::string>{"shared.xml", "version0", "version1"}));
  }
  for (IVelmoraDatabase* db : instances) EXPECT_EQ(db->Release(), 0u);
}
