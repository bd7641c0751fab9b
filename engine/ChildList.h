// ChildList and ChildTableLinks: which child records refer to each record of a parent table.
#pragma once

#include <limits.h>

#include <memory>
#include <vector>

#include "engine/IntArray.h"

namespace velmora {

// Record indices of one child table that refer to one parent record, in the order the links
// were made; an index occurs once per relation field that names the parent. Removing any entry
// costs O(1) amortised wherever it sits: one removed from the front only advances `head`, one
// further in leaves a hole, and the holes are squeezed out once they are half the list or a
// position behind the first hole is read. A long list that loses an entry from the middle gets
// an index from record to positions, so finding the entry costs no scan; the index is dropped
// whenever positions move and rebuilt at the next such removal, and an index that cannot be had
// for want of memory is simply not used. Not thread-safe, not even for reads: a read may squeeze.
class ChildList {
 public:
  ChildList();
  ~ChildList();
  ChildList(const ChildList&) = delete;
  ChildList& operator=(const ChildList&) = delete;
  ChildList(ChildList&&) noexcept;
  ChildList& operator=(ChildList&&) noexcept;

  void append(int record) {
    if (index || entries.getCount() == entries.getCapacity()) {
      appendSlowly(record);
      return;
    }
    lastAppended = record > lastAppended ? record : kNotAscending;
    entries.append(record);
  }
  // Room for `more` appends, so that they cannot fail.
  void reserve(int more) { entries.reserve(more); }
  int getCount() const { return entries.getCount() - head - holes; }
  // Code 14 outside [0, count).
  int at(int n) const;
  // Removes the first occurrence of record; nothing when it is absent.
  void removeFirst(int record);
  // Empties the list; the capacity stays.
  void clear();

 private:
  struct PositionIndex;
  static constexpr int kNotAscending = INT_MAX;  // no record index reaches it

  void appendSlowly(int record);
  int findFirst(int record);
  void buildIndex() const;
  void removeAt(int position);
  // Moves the live entries to the front, dropping head and holes (and the index). Cannot fail.
  void squeeze() const;

  mutable IntArray entries;  // kHole marks a removed entry behind head
  mutable int head = 0;
  mutable int holes = 0;
  mutable int firstHole = INT_MAX;  // no hole before this position
  // The greatest entry appended since the list was last empty while each append was greater
  // than the one before it (so no record is listed twice); kNotAscending once one was not. Kept
  // beside the counts, so that an append reads nothing from the entries themselves.
  int lastAppended = -1;
  mutable std::unique_ptr<PositionIndex> index;  // null until a long list loses a middle entry
};

// One child list per record slot of the parent table, for one registered child table. The
// lists lie side by side, so linking a record touches its list and nothing that points to it.
class ChildTableLinks {
 public:
  int getCount() const { return static_cast<int>(lists.size()); }
  // Code 14 outside [0, count).
  ChildList& at(int slot) {
    if (slot < 0 || slot >= getCount()) throwError(kIndexOutOfRange);
    return lists[static_cast<size_t>(slot)];
  }
  const ChildList& at(int slot) const {
    if (slot < 0 || slot >= getCount()) throwError(kIndexOutOfRange);
    return lists[static_cast<size_t>(slot)];
  }
  // Room for `more` lists, grown geometrically; the appends up to there cannot fail. Lists move
  // when it grows.
  void reserve(int more);
  // An empty list for the next slot; needs no memory once reserved.
  void append();
  // Keeps the first n lists; nothing unless 0 <= n < count.
  void truncate(int n);

 private:
  std::vector<ChildList> lists;
};

}  // namespace velmora
