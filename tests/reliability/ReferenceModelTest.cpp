// The component against the reference model: random seeded call sequences through the raw
// interface of the built library, every result, out-parameter, text and saved byte compared.
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/reliability/Operation.h"
#include "tests/reliability/OperationGenerator.h"
#include "tests/reliability/OperationRunner.h"
#include "tests/reliability/ReferenceModel.h"
#include "tests/support/ServerLibrary.h"
#include "tests/support/TempDir.h"

using namespace velmora;

namespace {

// Default run: enough seeds for well over 100 000 operations in a few seconds. VELMORA_LONG=1
// runs a hundred times as many; VELMORA_SEED=n runs that one seed alone.
constexpr uint32_t kSeeds = 300;
constexpr int kOperationsPerSeed = 500;

bool longRun() {
  const char* value = getenv("VELMORA_LONG");
  return value != nullptr && *value != '\0' && *value != '0';
}

bool operator==(const Operation& x, const Operation& y) {
  return x.method == y.method && x.nullArgument == y.nullArgument && x.a == y.a && x.b == y.b &&
         x.c == y.c && x.d == y.d && x.s1 == y.s1 && x.s2 == y.s2;
}

// Per method and expected result: how often it came up (VELMORA_STATS=1 prints them).
std::map<std::pair<int, int32_t>, long long> outcomes;

std::vector<Operation> generateSequence(uint32_t seed, int count) {
  OperationGenerator generator(seed);
  ReferenceModel model;  // steers the generator; the runner keeps its own
  std::vector<Operation> operations;
  for (int i = 0; i < count; ++i) {
    operations.push_back(generator.next(model));
    const int32_t result = model.apply(operations.back()).result;
    ++outcomes[{static_cast<int>(operations.back().method), result}];
  }
  return operations;
}

Operation op(Method method, int32_t a = 0, int32_t b = 0, std::string s1 = "",
             std::string s2 = "") {
  Operation operation;
  operation.method = method;
  operation.a = a;
  operation.b = b;
  operation.s1 = std::move(s1);
  operation.s2 = std::move(s2);
  return operation;
}

class ReferenceModelTest : public TempDirTest {
 protected:
  void SetUp() override { ASSERT_TRUE(server.loaded()) << dlerror(); }

  InstanceFactory factory() {
    return [this] { return server.create(); };
  }

  // Runs one seed's sequence; on a difference, reports the seed and the shrunk sequence.
  void runSeed(uint32_t seed, int count, long long& operations) {
    const std::vector<Operation> sequence = generateSequence(seed, count);
    const std::string work = dir.file("run");
    const SequenceResult result = runSequence(factory(), work, sequence);
    operations += static_cast<long long>(sequence.size());
    if (result.passed) return;
    const std::vector<Operation> shortest = shrinkSequence(factory(), work, sequence);
    const SequenceResult again = runSequence(factory(), work, shortest);
    ADD_FAILURE() << "seed " << seed << " differs at operation " << result.failingStep << ": "
                  << result.problem << "\nshortest failing sequence (" << shortest.size()
                  << " operations), ending in: " << again.problem << "\n"
                  << describe(shortest) << "reproduce with VELMORA_SEED=" << seed;
  }

  ServerLibrary server{VELMORA_SERVER_LIBRARY};
};

}  // namespace

TEST_F(ReferenceModelTest, RandomSequencesAgreeWithTheComponent) {
  const auto started = std::chrono::steady_clock::now();
  long long operations = 0;
  uint32_t first = 1;
  uint32_t seeds = longRun() ? kSeeds * 100 : kSeeds;
  if (const char* only = getenv("VELMORA_SEED")) {
    first = static_cast<uint32_t>(strtoul(only, nullptr, 10));
    seeds = 1;
  }
  for (uint32_t seed = first; seed < first + seeds && !HasFailure(); ++seed) {
    runSeed(seed, kOperationsPerSeed, operations);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  printf("[ reliability ] %lld random operations over %u seeds (%u to %u) in %.1f s\n", operations,
         seeds, first, first + seeds - 1, seconds);
  if (getenv("VELMORA_STATS") != nullptr) {
    int method = -1;
    for (const auto& [key, count] : outcomes) {
      if (key.first != method) {
        method = key.first;
        printf("\n  %-20s", signatureOf(static_cast<Method>(method)).name);
      }
      if (key.second == 0) {
        printf(" ok:%lld", count);
      } else {
        printf(" %X:%lld", static_cast<unsigned>(key.second) & 0xFFFF, count);
      }
    }
    printf("\n");
  }
  if (!longRun() && getenv("VELMORA_SEED") == nullptr) {
    EXPECT_GE(operations, 100000);
  }
}

// What the model writes for the sample database is the documented one-line file, so the model
// itself is checked against the format before it judges the component.
TEST_F(ReferenceModelTest, ModelWritesTheSampleDocument) {
  ReferenceModel model;
  const std::vector<Operation> sample = {op(Method::CreateDatabase, 1, 0, "my database"),
                                         op(Method::CreateTemporaryTable),
                                         op(Method::AddField, 1, 0, "name"),
                                         op(Method::AddField, 1, 0, "surname"),
                                         op(Method::AddField, 0, 0, "age"),
                                         op(Method::CreateTable, 0, 0, "employee"),
                                         op(Method::ChooseTable, 0, 0, "employee"),
                                         op(Method::SetString, 0, 0, "name", "john"),
                                         op(Method::SetString, 0, 0, "surname", "doe"),
                                         op(Method::SetInt, 12, 0, "age"),
                                         op(Method::AddRecord, -1)};
  for (const Operation& operation : sample) ASSERT_EQ(model.apply(operation).result, 0);
  EXPECT_EQ(model.buildDocument(),
            "<!--this is a database created with velmora--><!--you can download this program from "
            "https://velmora.example.org/download--><database><info><name>my database</name>"
            "<version>1</version></info><data><employee><record><name>john</name><surname>doe"
            "</surname><age>12</age></record></employee></data></database>");
}

TEST_F(ReferenceModelTest, EncodingRoundTripsEveryGeneratedOperation) {
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    const std::vector<Operation> sequence = generateSequence(seed, 300);
    const std::string bytes = encodeOperations(sequence);
    const std::vector<Operation> decoded =
        decodeOperations(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ASSERT_EQ(decoded.size(), sequence.size());
    for (size_t i = 0; i < sequence.size(); ++i) {
      ASSERT_TRUE(decoded[i] == sequence[i])
          << describe(sequence[i]) << " / " << describe(decoded[i]);
    }
  }
}

// The operation fuzzer's corpus, replayed as ordinary sequences. VELMORA_WRITE_CORPUS=dir writes
// fresh seed sequences there instead.
TEST_F(ReferenceModelTest, OperationCorpusReplays) {
  if (const char* target = getenv("VELMORA_WRITE_CORPUS")) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
      std::ofstream out(std::string(target) + "/seed-" + std::to_string(seed), std::ios::binary);
      out << encodeOperations(generateSequence(seed, 60 + 20 * static_cast<int>(seed)));
    }
  }
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(VELMORA_OPERATION_CORPUS)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<Operation> sequence =
        decodeOperations(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    const SequenceResult result = runSequence(factory(), dir.file("run"), sequence);
    EXPECT_TRUE(result.passed) << entry.path() << ": " << result.problem;
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
}
