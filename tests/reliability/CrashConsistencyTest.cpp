// A save killed at random moments: a forked child saves a database of 200 000 records over an
// existing file and is killed with SIGKILL part way. The target must always hold the old or the
// new database in full; only a temporary file named after the target may be left behind.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "velmora/Identifiers.h"

#include "component/ComponentObject.h"
#include "tests/support/ServerLibrary.h"
#include "tests/support/TempDir.h"

using namespace velmora;

namespace {

constexpr int kOldRecords = 1000;
constexpr int kNewRecords = 200000;

IVelmoraDatabase* createObject() {
  void* out = nullptr;
  EXPECT_EQ((new ComponentObject())->QueryInterface(IID_IVelmoraDatabase, &out), S_OK);
  return static_cast<IVelmoraDatabase*>(out);
}

bool longRun() {
  const char* value = getenv("VELMORA_LONG");
  return value != nullptr && *value != '\0' && *value != '0';
}

// A temporary file of a save to `target`: the target's name, ".tmp-" and a unique suffix.
bool isTemporaryOf(const std::string& name, const std::string& target) {
  const std::string prefix = target + ".tmp-";
  return name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0;
}

int32_t recordsIn(IVelmoraDatabase& db, const std::string& file) {
  uint8_t loaded = 0;
  int32_t count = -1;
  if (db.Load(file.c_str(), &loaded) != S_OK || loaded != 1) return -1;
  if (db.GetRecordCountAt(0, &count) != S_OK) return -1;
  return count;
}

class CrashConsistencyTest : public TempDirTest {};

// counter: Int v; records hold 0, 1, 2, ...
void defineCounter(IVelmoraDatabase& db) {
  int32_t out = 0;
  ASSERT_EQ(db.CreateTemporaryTable(), S_OK);
  ASSERT_EQ(db.AddField("v", 0, &out), S_OK);
  ASSERT_EQ(db.CreateTable("counter", &out), S_OK);
}

void addCounts(IVelmoraDatabase& db, int from, int to) {
  int32_t out = 0;
  for (int i = from; i < to; ++i) {
    ASSERT_EQ(db.ChooseTableAt(0), S_OK);
    ASSERT_EQ(db.SetIntAt(0, i), S_OK);
    ASSERT_EQ(db.AddRecord(&out, -1), S_OK);
  }
}

}  // namespace

TEST_F(CrashConsistencyTest, KilledSaveLeavesTheOldOrTheNewDatabase) {
  IVelmoraDatabase* db = createObject();
  defineCounter(*db);
  addCounts(*db, 0, kOldRecords);
  const std::string target = dir.file("db.xml");
  const std::string oldCopy = dir.file("old.copy");
  const std::string newCopy = dir.file("new.copy");
  uint8_t saved = 0;
  ASSERT_EQ(db->Save(oldCopy.c_str(), &saved), S_OK);
  addCounts(*db, kOldRecords, kNewRecords);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(db->Save(newCopy.c_str(), &saved), S_OK);
  const double saveSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const std::string oldBytes = readFileBytes(oldCopy);
  const std::string newBytes = readFileBytes(newCopy);

  // Both versions load completely.
  IVelmoraDatabase* reader = createObject();
  defineCounter(*reader);
  EXPECT_EQ(recordsIn(*reader, oldCopy), kOldRecords);
  EXPECT_EQ(recordsIn(*reader, newCopy), kNewRecords);

  const int wantedKills = longRun() ? 500 : 60;
  std::mt19937 random(12345);
  int kills = 0;
  int completed = 0;
  int leftovers = 0;
  int sawOld = 0;
  int sawNew = 0;
  for (int round = 0; kills < wantedKills && round < wantedKills * 4; ++round) {
    writeFileBytes(dir.file("restore"), oldBytes);
    ASSERT_EQ(rename(dir.file("restore").c_str(), target.c_str()), 0);
    fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) _exit(db->Save(target.c_str(), &saved) == S_OK ? 0 : 1);
    // A moment anywhere in the save, a little past its usual end now and then.
    const double delay = std::uniform_real_distribution<double>(0.0, saveSeconds * 1.1)(random);
    const auto nanoseconds = static_cast<long long>(delay * 1e9);
    const timespec pause = {static_cast<time_t>(nanoseconds / 1000000000),
                            static_cast<long>(nanoseconds % 1000000000)};
    nanosleep(&pause, nullptr);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFSIGNALED(status)) {
      ++kills;
    } else {
      ASSERT_EQ(WEXITSTATUS(status), 0) << "the save itself failed";
      ++completed;
    }

    const std::string bytes = readFileBytes(target);
    const bool isOld = bytes == oldBytes;
    const bool isNew = bytes == newBytes;
    ASSERT_TRUE(isOld || isNew) << "round " << round << ": the target holds " << bytes.size()
                                << " bytes, neither version";
    sawOld += isOld ? 1 : 0;
    sawNew += isNew ? 1 : 0;
    for (const std::string& name : listDirectory(dir.path())) {
      if (name == "db.xml" || name == "old.copy" || name == "new.copy") continue;
      ASSERT_TRUE(isTemporaryOf(name, "db.xml")) << "unexpected file " << name;
      ++leftovers;
      std::remove(dir.file(name).c_str());
    }
  }
  // The target as it stands loads in full, as one of the two versions.
  const int32_t count = recordsIn(*reader, target);
  EXPECT_TRUE(count == kOldRecords || count == kNewRecords) << count;
  printf(
      "[ reliability ] %d saves of %d records (%.2f s each) killed, %d completed; the target "
      "held the old database %d times and the new one %d times; %d temporary files left\n",
      kills, kNewRecords, saveSeconds, completed, sawOld, sawNew, leftovers);
  EXPECT_GE(kills, wantedKills);
  EXPECT_GT(sawOld, 0);
  reader->Release();
  db->Release();
}
