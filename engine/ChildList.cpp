#include "engine/ChildList.h"

#include <algorithm>
#include <new>

namespace velmora {

namespace {

constexpr int kHole = -1;  // record indices are never negative
// Shorter lists are searched from the front: cheaper than keeping an index.
constexpr int kScanLimit = 32;

}  // namespace

// Where each record sits in a long list, in one of two forms.
// Dense, for a list whose entries ascend (each record at most once) over a range not much wider
// than their count: the position of record base + i at i, -1 where there is none (set so when
// the entry goes); four bytes a record, one look-up that reads nothing else.
// Hashed, otherwise: open addressing from record to the first and last position holding it, and
// per position the next one holding the same record; a record whose entries are all gone keeps
// its bucket.
// Either is sized when built for the appends up to twice the positions in use, which then never
// need memory.
struct ChildList::PositionIndex {
  struct Bucket {
    int record;  // kHole for a free bucket
    int first;   // -1 once every occurrence is gone
    int last;
  };
  bool dense = false;
  int base = 0;  // dense: the record at positionOf[0]
  int span = 0;  // dense: records base to base + span - 1 have a cell
  std::unique_ptr<int[]> positionOf;
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
  // False when a dense index has no cell for the record: the index must go.
  bool add(int record, int position) {
    if (dense) {
      if (record - base >= span) return false;
      positionOf[record - base] = position;
      return true;
    }
    Bucket& bucket = bucketOf(record);
    if (bucket.record == kHole || bucket.first < 0) {
      bucket = Bucket{record, position, position};
    } else {
      next[bucket.last] = position;
      bucket.last = position;
    }
    next[position] = -1;
    return true;
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
  // The list outgrew its index, or a dense one its order: rebuilt when next needed.
  const bool kept = position < index->positions &&
                    (!index->dense || lastAppended != kNotAscending) &&
                    index->add(record, position);
  if (!kept) index.reset();
}

int ChildList::at(int n) const {
  if (n < 0 || n >= getCount()) throwError(kIndexOutOfRange);
  if (head + n >= firstHole) squeeze();
  return entries.at(head + n);
}

void ChildList::removeFirst(int record) {
  const int position = findFirst(record);
  if (position < 0) return;
  if (index && index->dense) index->positionOf[record - index->base] = -1;
  removeAt(position);
}

int ChildList::findFirst(int record) {
  if (getCount() == 0) return -1;
  // The two ends need no index: the front entry is always the first occurrence, the back one
  // is when the list holds every record once (appended in ascending order, as loads and builds
  // do).
  if (entries.at(head) == record) return head;
  const int back = entries.getCount() - 1;
  if (lastAppended != kNotAscending && entries.at(back) == record) return back;
  if (!index && getCount() > kScanLimit) buildIndex();
  if (index) {
    if (record == kHole) return -1;
    if (index->dense) {
      const long long at = static_cast<long long>(record) - index->base;
      if (at < 0 || at >= index->span) return -1;
      return index->positionOf[at];  // -1 for a record gone or never there
    }
    const PositionIndex::Bucket& bucket = index->bucketOf(record);
    return bucket.record == record ? bucket.first : -1;
  }
  for (int p = head; p < entries.getCount(); ++p) {
    if (entries.at(p) == record) return p;
  }
  return -1;
}

// Room for the positions in use and as many appends again, but no more: sized by the capacity,
// a list emptied from a million entries would rebuild a million-entry index at every squeeze.
// An index that cannot be had is not used.
void ChildList::buildIndex() const {
  const int count = entries.getCount();
  const int positions = count > INT_MAX / 2 ? count : count * 2;
  auto built = std::unique_ptr<PositionIndex>(new (std::nothrow) PositionIndex);
  if (!built) return;
  built->positions = positions;
  const int first = entries.at(head);  // never a hole
  const long long range = static_cast<long long>(entries.at(count - 1)) - first + 1;
  if (lastAppended != kNotAscending && range <= 4LL * getCount()) {
    const long long span = std::min<long long>(2 * range, INT_MAX);
    built->positionOf.reset(new (std::nothrow) int[static_cast<size_t>(span)]);
    if (!built->positionOf) return;
    built->dense = true;
    built->base = first;
    built->span = static_cast<int>(span);
    std::fill_n(built->positionOf.get(), span, -1);
  } else {
    size_t size = 16;
    while (size < static_cast<size_t>(positions) * 2) size *= 2;
    built->buckets.reset(new (std::nothrow) PositionIndex::Bucket[size]);
    built->next.reset(new (std::nothrow) int[static_cast<size_t>(positions)]);
    if (!built->buckets || !built->next) return;
    built->mask = size - 1;
    for (size_t b = 0; b < size; ++b) built->buckets[b] = {kHole, -1, -1};
  }
  for (int p = head; p < count; ++p) {
    const int entry = entries.at(p);
    if (entry != kHole) built->add(entry, p);
  }
  index = std::move(built);
}

void ChildList::removeAt(int position) {
  if (index && !index->dense) {
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
