#include "engine/ChildList.h"

#include <algorithm>
#include <new>

namespace velmora {

namespace {

constexpr int kHole = -1;  // record indices are never negative
// Shorter lists are searched from the front: cheaper than keeping an index.
constexpr int kScanLimit = 32;

}  // namespace

// Open addressing from record to the first and last position holding it, and per position the
// next one holding the same record. Sized when built for twice the positions in use, so the
// appends up to there never need memory; a record whose entries are all gone keeps its bucket.
struct ChildList::PositionIndex {
  struct Bucket {
    int record;  // kHole for a free bucket
    int first;   // -1 once every occurrence is gone
    int last;
  };
  size_t mask = 0;
  std::unique_ptr<Bucket[]> buckets;
  std::unique_ptr<int[]> next;
  int positions = 0;

  Bucket& bucketOf(int record) const {
    size_t at = (static_cast<size_t>(static_cast<unsigned>(record)) * 0x9E3779B97F4A7C15ull) >> 32;
    for (at &= mask;; at = (at + 1) & mask) {
      Bucket& bucket = buckets[at];
      if (bucket.record == record || bucket.record == kHole) return bucket;
    }
  }
  void add(int record, int position) {
    Bucket& bucket = bucketOf(record);
    if (bucket.record == kHole || bucket.first < 0) {
      bucket = Bucket{record, position, position};
    } else {
      next[bucket.last] = position;
      bucket.last = position;
    }
    next[position] = -1;
  }
};

// No memory until the first append: most parent records of a large table have few children.
ChildList::ChildList() : entries(0) {}
ChildList::~ChildList() = default;
ChildList::ChildList(ChildList&&) noexcept = default;
ChildList& ChildList::operator=(ChildList&&) noexcept = default;

// The entries are full or indexed: removed entries may be squeezed out, the index kept up.
void ChildList::appendSlowly(int record) {
  const int dead = head + holes;
  if (entries.getCount() == entries.getCapacity() && dead > 0 && dead * 2 >= entries.getCount()) {
    squeeze();  // reuse the space of removed entries once they are half the list
  }
  lastAppended = record > lastAppended ? record : kNotAscending;
  entries.append(record);
  const int position = entries.getCount() - 1;
  if (!index) return;
  if (position < index->positions) {
    index->add(record, position);
  } else {
    index.reset();  // the list outgrew it: rebuilt when next needed
  }
}

int ChildList::at(int n) const {
  if (n < 0 || n >= getCount()) throwError(kIndexOutOfRange);
  if (head + n >= firstHole) squeeze();
  return entries.at(head + n);
}

void ChildList::removeFirst(int record) {
  const int position = findFirst(record);
  if (position >= 0) removeAt(position);
}

int ChildList::findFirst(int record) {
  if (getCount() == 0) return -1;
  // The two ends need no index: the front entry is always the first occurrence, the back one
  // is when the list holds every record once (appended in ascending order, as loads and builds
  // do).
  if (entries.at(head) == record) return head;
  const int back = entries.getCount() - 1;
  if (lastAppended != kNotAscending && entries.at(back) == record) return back;
  if (!index && getCount() > kScanLimit) {
    // Room for the positions in use and as many appends again, but no more: sized by the
    // capacity, a list emptied from a million entries would rebuild a million-entry index at
    // every squeeze.
    const int positions =
        entries.getCount() > INT_MAX / 2 ? entries.getCount() : entries.getCount() * 2;
    size_t size = 16;
    while (size < static_cast<size_t>(positions) * 2) size *= 2;
    auto built = std::unique_ptr<PositionIndex>(new (std::nothrow) PositionIndex);
    if (built) {
      built->buckets.reset(new (std::nothrow) PositionIndex::Bucket[size]);
      built->next.reset(new (std::nothrow) int[positions]);
    }
    if (built && built->buckets && built->next) {
      built->mask = size - 1;
      built->positions = positions;
      for (size_t b = 0; b < size; ++b) built->buckets[b] = {kHole, -1, -1};
      for (int p = head; p < entries.getCount(); ++p) {
        const int entry = entries.at(p);
        if (entry != kHole) built->add(entry, p);
      }
      index = std::move(built);
    }
  }
  if (index) {
    if (record == kHole) return -1;
    const PositionIndex::Bucket& bucket = index->bucketOf(record);
    return bucket.record == record ? bucket.first : -1;
  }
  for (int p = head; p < entries.getCount(); ++p) {
    if (entries.at(p) == record) return p;
  }
  return -1;
}

void ChildList::removeAt(int position) {
  if (index) {
    PositionIndex::Bucket& bucket = index->bucketOf(entries.at(position));
    bucket.first = index->next[position];
  }
  if (position == head) {
    ++head;
    while (head < entries.getCount() && entries.at(head) == kHole) {
      ++head;
      --holes;
    }
  } else if (position == entries.getCount() - 1) {
    entries.truncate(position);  // the back entry goes, and the holes before it
    while (entries.getCount() > head && entries.at(entries.getCount() - 1) == kHole) {
      entries.truncate(entries.getCount() - 1);
      --holes;
    }
  } else {
    entries.set(position, kHole);
    ++holes;
    if (position < firstHole) firstHole = position;
  }
  if (holes == 0) firstHole = INT_MAX;
  if (getCount() == 0) {
    clear();
  } else if (holes > getCount()) {
    squeeze();
  }
}

void ChildList::squeeze() const {
  int kept = 0;
  for (int p = head; p < entries.getCount(); ++p) {
    const int entry = entries.at(p);
    if (entry != kHole) entries.set(kept++, entry);
  }
  entries.truncate(kept);
  head = 0;
  holes = 0;
  firstHole = INT_MAX;
  index.reset();
}

void ChildList::clear() {
  entries.clear();
  lastAppended = -1;
  head = 0;
  holes = 0;
  firstHole = INT_MAX;
  index.reset();
}

void ChildTableLinks::reserve(int more) {
  const size_t needed = lists.size() + static_cast<size_t>(more);
  if (needed > lists.capacity()) lists.reserve(std::max(needed, lists.capacity() * 2));
}

void ChildTableLinks::append() { lists.emplace_back(); }

void ChildTableLinks::truncate(int n) {
  if (n >= 0 && n < getCount()) lists.erase(lists.begin() + n, lists.end());
}

}  // namespace velmora
