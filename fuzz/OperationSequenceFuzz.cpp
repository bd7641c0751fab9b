// Fuzz target: the input is a sequence of interface calls (and file truncations and byte
// patches between them), run on a component object and on the reference model side by side.
// Any difference in a result code, out-parameter, text or saved file aborts with the shortest
// failing sequence.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "velmora/Identifiers.h"

#include "component/ComponentObject.h"
#include "tests/reliability/Operation.h"
#include "tests/reliability/OperationRunner.h"

using namespace velmora;

namespace {

constexpr size_t kMaxOperations = 2000;  // keeps one input's run short

// A private working directory for the process, removed at exit.
class WorkDirectory {
 public:
  WorkDirectory() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                          "/velmora-operations-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) abort();
    path = buffer.data();
  }
  ~WorkDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  WorkDirectory(const WorkDirectory&) = delete;
  WorkDirectory& operator=(const WorkDirectory&) = delete;

  std::string path;
};

IVelmoraDatabase* createInstance() {
  auto* object = new ComponentObject();
  void* out = nullptr;
  if (object->QueryInterface(IID_IVelmoraDatabase, &out) != S_OK) abort();
  return static_cast<IVelmoraDatabase*>(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static WorkDirectory directory;
  std::vector<Operation> operations = decodeOperations(data, size);
  if (operations.size() > kMaxOperations) operations.resize(kMaxOperations);
  const std::string work = directory.path + "/run";
  const SequenceResult result = runSequence(createInstance, work, operations);
  if (result.passed) return 0;
  const std::vector<Operation> shortest = shrinkSequence(createInstance, work, operations);
  fprintf(stderr, "component and reference model differ: %s\nshortest failing sequence:\n%s",
          result.problem.c_str(), describe(shortest).c_str());
  abort();
}
