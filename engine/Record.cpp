#include "engine/Record.h"

Record::Record(int fieldCount) : values(fieldCount) {
  for (int i = 0; i < fieldCount; ++i) values.append(nullptr);
}

void Record::store(int field, std::unique_ptr<FieldValue> value) {
  if (field > values.getCount()) throwError(kTooFewFields);
  values.set(field, std::move(value));  // code 14 for negative or == count
}
