#include "engine/RecordStore.h"

#include <limits.h>
#include <string.h>

#include <algorithm>
#include <new>
#include <utility>

#include "engine/Errors.h"

#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_ASAN 1
#endif
#endif
#if VELMORA_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace velmora {

namespace {

// The first block holds a few records; each further block doubles, up to 64 KiB, so a small
// table stays small, a large one costs one allocation per 64 KiB and the unused end of the
// newest block stays small beside the records.
constexpr size_t kFirstBlockRecords = 16;
constexpr size_t kLargestBlockBytes = size_t{64} << 10;

// Under AddressSanitizer a record given back is poisoned until it is handed out again, so a use
// after delete is still reported although the memory stays in the store.
void poison(void* address, size_t size) {
#if VELMORA_ASAN
  ASAN_POISON_MEMORY_REGION(address, size);
#else
  (void)address;
  (void)size;
#endif
}
void unpoison(void* address, size_t size) {
#if VELMORA_ASAN
  ASAN_UNPOISON_MEMORY_REGION(address, size);
#else
  (void)address;
  (void)size;
#endif
}

}  // namespace

void RecordDiscard::operator()(Record* record) const { store->discard(record); }

RecordStore::RecordStore(const TableDefinition& definition, int initialCapacity)
    : layout(definition),
      slots(std::make_unique<Record*[]>(static_cast<size_t>(initialCapacity))),
      capacity(initialCapacity) {}

RecordStore::~RecordStore() {
  for (int i = 0; i < count; ++i) {
    if (slots[i] != nullptr) Record::destroy(slots[i], layout);
  }
  for (const Block& block : blocks) unpoison(block.bytes.get(), block.size);
}

OwnedRecord RecordStore::create() {
  const size_t size = layout.getSize();
  void* memory;
  if (freeList != nullptr) {
    memory = freeList;
    unpoison(memory, size);
    memcpy(&freeList, memory, sizeof freeList);
  } else {
    if (unusedBytes < size) {
      const size_t wanted = blocks.empty() ? size * kFirstBlockRecords : blocks.back().size * 2;
      const size_t bytes = std::max(size, std::min(wanted, kLargestBlockBytes));
      // Not zero-filled here: each record clears its own bytes when it is made.
      blocks.push_back(Block{std::unique_ptr<char[]>(new char[bytes]), bytes});
      unused = blocks.back().bytes.get();
      unusedBytes = blocks.back().size;
    }
    memory = unused;
    unused += size;
    unusedBytes -= size;
  }
  return OwnedRecord(Record::construct(memory, layout), RecordDiscard{this});
}

void RecordStore::discard(Record* record) {
  Record::destroy(record, layout);
  memcpy(static_cast<void*>(record), &freeList, sizeof freeList);  // the block links to the next
  freeList = record;
  poison(record, layout.getSize());
}

void RecordStore::append(OwnedRecord record) {
  if (count >= capacity) grow();
  slots[count++] = record.release();
}

Record* RecordStore::at(int i) const {
  if (i < 0 || i >= count) throwError(kIndexOutOfRange);
  return slots[i];
}

void RecordStore::set(int i, OwnedRecord record) {
  if (i < 0 || i >= count) throwError(kIndexOutOfRange);
  Record* old = slots[i];
  slots[i] = record.release();
  if (old != nullptr && old != slots[i]) discard(old);
}

void RecordStore::clear() {
  for (int i = 0; i < count; ++i) {
    if (slots[i] != nullptr) discard(slots[i]);
    slots[i] = nullptr;
  }
  count = 0;
}

void RecordStore::grow() {
  if (capacity > INT_MAX / 2) throw std::bad_alloc();
  const int doubled = capacity == 0 ? 1 : capacity * 2;
  auto bigger = std::make_unique<Record*[]>(static_cast<size_t>(doubled));
  for (int i = 0; i < count; ++i) bigger[i] = slots[i];
  slots = std::move(bigger);
  capacity = doubled;
}

}  // namespace velmora
