// OperationGenerator: seeded random operations, steered by the reference model's state so that
// most calls are valid and the rest probe every kind of wrong argument.
#pragma once

#include <stdint.h>

#include <random>
#include <string>

#include "tests/reliability/Operation.h"
#include "tests/reliability/ReferenceModel.h"

namespace velmora {

class OperationGenerator {
 public:
  explicit OperationGenerator(uint32_t seed) : random(seed) {}

  // The next operation for a database in the model's state (the model is only read).
  Operation next(const ReferenceModel& model);

 private:
  int below(int n) { return n <= 0 ? 0 : static_cast<int>(random() % static_cast<uint32_t>(n)); }
  bool chance(int percent) { return below(100) < percent; }
  int between(int low, int high) { return low + below(high - low + 1); }

  // An index into [0, count) mostly; otherwise one just outside, negative or extreme.
  int32_t index(int count);
  int32_t number();
  std::string text();
  std::string tableName(const ModelDatabase& database);
  std::string fieldName(const ModelTable* table);
  const ModelTable* someTable(const ModelDatabase& database, int32_t* slot,
                              bool (*preferred)(const ModelTable&));
  void recordArguments(const ModelDatabase& database, Operation& operation, bool byName);
  Method pickMethod(const ReferenceModel& model);

  std::mt19937 random;
  std::string plannedName = "employee";  // the name the table being defined will likely get
};

}  // namespace velmora
