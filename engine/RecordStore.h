// RecordStore: the record slots of one table and the memory its records live in.
#pragma once

#include <stddef.h>

#include <memory>
#include <vector>

#include "engine/Record.h"

namespace velmora {

class RecordStore;

// Gives a record that is in no slot back to its store.
struct RecordDiscard {
  RecordStore* store;
  void operator()(Record* record) const;
};
using OwnedRecord = std::unique_ptr<Record, RecordDiscard>;

// Numbered record slots with the engine's array rules (count and capacity, the capacity
// doubling when an append finds it full, access outside [0, count) failing with code 14, a slot
// emptied by a delete never renumbered), holding records that all have the table's layout.
// Records are carved from large blocks and freed blocks are reused, so a record costs no
// allocation of its own and no allocator overhead; the blocks go when the store does. Owns the
// stored records and the blocks; a record handed out by create is owned by its OwnedRecord.
// Not thread-safe.
class RecordStore {
 public:
  RecordStore(const TableDefinition& definition, int initialCapacity);
  ~RecordStore();
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;

  const RecordLayout& getLayout() const { return layout; }

  // A new record with every value at its default, in no slot.
  OwnedRecord create();

  // Takes the record; grows first when full. The new slot is the old count.
  void append(OwnedRecord record);
  // Grows now, as appends would, until `more` further appends fit: they cannot fail then.
  void reserve(int more) {
    while (count > capacity - more) grow();
  }
  // The record in slot i, null for an empty slot; code 14 outside [0, count).
  Record* at(int i) const;
  bool exists(int i) const { return i >= 0 && i < count && slots[i] != nullptr; }
  // Replaces slot i, destroying the record that was there; null empties it. Code 14 outside
  // [0, count).
  void set(int i, OwnedRecord record);
  // Destroys every stored record and sets the count to 0; the capacity and the blocks stay for
  // the records that come next.
  void clear();
  int getCount() const { return count; }

 private:
  friend struct RecordDiscard;
  void discard(Record* record);
  void grow();

  RecordLayout layout;
  std::unique_ptr<Record*[]> slots;  // owned records or null
  int count = 0;
  int capacity;

  struct Block {
    std::unique_ptr<char[]> bytes;
    size_t size;
  };
  std::vector<Block> blocks;  // each holds many records
  char* unused = nullptr;     // the rest of the newest block
  size_t unusedBytes = 0;
  void* freeList = nullptr;  // records given back, each holding a pointer to the next
};

}  // namespace velmora
