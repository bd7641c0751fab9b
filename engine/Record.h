// Record: one value slot per field of its table.
#pragma once

#include <memory>

#include "engine/FieldValue.h"
#include "engine/OwnedArray.h"

// Owns its values; every slot exists from construction and starts empty. Not thread-safe.
class Record {
 public:
  explicit Record(int fieldCount);

  // Replaces slot `field`. Code 5 when field is greater than the number of slots; code 14 for a
  // negative field or one equal to the number of slots.
  void store(int field, std::unique_ptr<FieldValue> value);
  // The value or null for an empty slot; code 14 outside the slots.
  const FieldValue* value(int field) const { return values.at(field); }
  int getSlotCount() const { return values.getCount(); }

  // Set while a cascading delete is removing this record, so reference cycles terminate.
  bool isBeingDeleted() const { return beingDeleted; }
  void markBeingDeleted(bool state) { beingDeleted = state; }

 private:
  OwnedArray<FieldValue> values;
  bool beingDeleted = false;
};
