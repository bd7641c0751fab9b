#include "engine/NameIndex.h"

#include <stdint.h>
#include <string.h>

#include "engine/Errors.h"
#include "engine/SameBytes.h"

namespace velmora {

namespace {

constexpr size_t kInitialBuckets = 8;  // a power of two; kept at least twice the entry count
constexpr size_t kLinearScanLimit = 8;

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && sameBytes(a.data(), b.data(), a.size());
}

// Names are short and looked up on every by-name call, so the hash reads the bytes a word at a
// time (the last word overlapping the one before, short names from two overlapping halves) and
// mixes each word with one multiplication.
uint64_t load(const char* bytes, size_t size) {
  uint64_t word = 0;
  memcpy(&word, bytes, size);
  return word;
}

uint64_t mix(uint64_t hash, uint64_t word) {
  hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
  return hash ^ (hash >> 29);
}

// Buckets are chosen by the low bits, which a product takes from the low bits of its input
// only: names sharing their first bytes ("link0" to "link9999") would crowd a few buckets. The
// high half is folded down and multiplied once more, so every byte reaches the low bits.
uint64_t finish(uint64_t hash) {
  hash ^= hash >> 32;
  hash *= 0xD6E8FEB86659FD93ull;
  return hash ^ (hash >> 32);
}

size_t hashName(std::string_view name) {
  const char* bytes = name.data();
  const size_t size = name.size();
  uint64_t hash = size * 0x9E3779B97F4A7C15ull;
  if (size >= 8) {
    for (size_t at = 0; at + 8 < size; at += 8) hash = mix(hash, load(bytes + at, 8));
    hash = mix(hash, load(bytes + size - 8, 8));
  } else if (size >= 4) {
    hash = mix(hash, load(bytes, 4) << 32 | load(bytes + size - 4, 4));
  } else if (size > 0) {
    const uint64_t word = uint64_t{static_cast<unsigned char>(bytes[0])} << 16 |
                          uint64_t{static_cast<unsigned char>(bytes[size / 2])} << 8 |
                          static_cast<unsigned char>(bytes[size - 1]);
    hash = mix(hash, word);
  }
  return static_cast<size_t>(finish(hash));
}

}  // namespace

NameIndex::NameIndex() : buckets(kInitialBuckets, -1) {}

// Everything that allocates comes first, so a failure leaves the index as it was.
void NameIndex::add(int index, std::string_view name) {
  const size_t hash = hashName(name);
  const int found = find(name, hash);
  Entry entry{found < 0 ? std::string(name) : std::string(), hash, index};
  std::vector<int> grown;
  if (found < 0) {
    // Geometric, so that adding n names moves each entry O(1) times on average.
    if (entries.size() == entries.capacity()) entries.reserve(entries.size() * 2 + 1);
    if ((entries.size() + 1) * 2 > buckets.size()) grown.assign(buckets.size() * 2, -1);
  }
  std::string copy(name);
  nameByIndex[index].swap(copy);  // the last step that can fail

  if (found >= 0) {
    entries[found].index = index;
    return;
  }
  entries.push_back(std::move(entry));
  if (grown.empty()) {
    placeInBucket(static_cast<int>(entries.size() - 1));
    return;
  }
  buckets.swap(grown);
  for (size_t position = 0; position < entries.size(); ++position) {
    placeInBucket(static_cast<int>(position));
  }
}

int NameIndex::indexOf(std::string_view name) const {
  // A table has few fields and a database few tables: comparing lengths, then bytes, beats
  // hashing until there are more.
  if (entries.size() <= kLinearScanLimit) {
    for (const Entry& entry : entries) {
      if (sameName(entry.name, name)) return entry.index;
    }
    throwError(kNameNotFound);
  }
  const int found = find(name, hashName(name));
  if (found < 0) throwError(kNameNotFound);
  return entries[found].index;
}

const std::string& NameIndex::nameOf(int index) const {
  const auto found = nameByIndex.find(index);
  if (found == nameByIndex.end()) throwError(kIndexHasNoName);
  return found->second;
}

int NameIndex::find(std::string_view name, size_t hash) const {
  const size_t mask = buckets.size() - 1;
  for (size_t bucket = hash & mask;; bucket = (bucket + 1) & mask) {
    const int position = buckets[bucket];
    if (position < 0) return -1;  // a free bucket ends the probe: the table is never full
    const Entry& entry = entries[position];
    if (entry.hash == hash && sameName(entry.name, name)) return position;
  }
}

void NameIndex::placeInBucket(int position) {
  const size_t mask = buckets.size() - 1;
  size_t bucket = entries[position].hash & mask;
  while (buckets[bucket] >= 0) bucket = (bucket + 1) & mask;
  buckets[bucket] = position;
}

}  // namespace velmora
