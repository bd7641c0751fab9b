// OperationRunner: runs operations on a component instance and on the reference model side by
// side and reports the first difference; plus running, shrinking and reporting whole sequences.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "velmora/IVelmoraDatabase.h"
#include "velmora/IVelmoraDatabase2.h"

#include "tests/reliability/Operation.h"
#include "tests/reliability/ReferenceModel.h"

namespace velmora {

// Creates a fresh instance answering for the component interface (one reference, the caller's).
using InstanceFactory = std::function<IVelmoraDatabase*()>;

class OperationRunner {
 public:
  // The directory must exist and be empty; the runner owns its contents while it lives.
  OperationRunner(const InstanceFactory& factory, std::string workDirectory);
  ~OperationRunner();
  OperationRunner(const OperationRunner&) = delete;
  OperationRunner& operator=(const OperationRunner&) = delete;

  // Runs one operation on both; empty when they agree, else what differed.
  std::string step(const Operation& operation);
  // Reads back everything the model holds (every table, field, record, value and child list)
  // through the interface; empty when the component agrees.
  std::string compareState();

  const ReferenceModel& getModel() const { return model; }
  // The instance under test, owned by the runner.
  IVelmoraDatabase* getInstance() const { return instance; }
  int getCallCount() const { return calls; }

 private:
  Outcome call(const Operation& operation, std::string& problem);
  IVelmoraDatabase2& second() const;  // the same object through its second interface
  std::string compareFiles();
  std::string path(int slot) const;

  IVelmoraDatabase* instance;
  ReferenceModel model;
  std::string directory;
  int calls = 0;
};

// The outcome of running a sequence on a fresh instance in an empty directory.
struct SequenceResult {
  bool passed = true;
  size_t failingStep = 0;  // index of the operation after which the difference showed
  std::string problem;
};

// Runs the sequence (comparing the whole state at the end and after every save and load).
SequenceResult runSequence(const InstanceFactory& factory, const std::string& directory,
                           const std::vector<Operation>& operations);

// The shortest failing sequence found by removing operations while the run still fails.
std::vector<Operation> shrinkSequence(const InstanceFactory& factory, const std::string& directory,
                                      std::vector<Operation> operations);

// Removes a directory tree and recreates it empty.
void resetDirectory(const std::string& directory);

}  // namespace velmora
