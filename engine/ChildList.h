// ChildList and ChildTableLinks: which child records refer to each record of a parent table.
#pragma once

#include "engine/IntArray.h"
#include "engine/OwnedArray.h"

namespace velmora {

// Record indices of one child table that refer to one parent record, in the order the links
// were made; an index occurs once per relation field that names the parent. Removing the front
// entry only advances `head`, so a cascade that empties a long list from the front stays linear.
class ChildList {
 public:
  ChildList() : entries(1) {}

  void append(int record);
  // Room for `more` appends, so that they cannot fail.
  void reserve(int more) { entries.reserve(more); }
  int getCount() const { return entries.getCount() - head; }
  // Code 14 outside [0, count).
  int at(int n) const;
  // Removes the first occurrence of record; nothing when it is absent.
  void removeFirst(int record);
  // Empties the list; the capacity stays.
  void clear();

 private:
  IntArray entries;
  int head = 0;
};

// One child list per record slot of the parent table, for one registered child table.
class ChildTableLinks {
 public:
  ChildTableLinks() : lists(1) {}
  OwnedArray<ChildList>& getLists() { return lists; }
  const OwnedArray<ChildList>& getLists() const { return lists; }

 private:
  OwnedArray<ChildList> lists;
};

}  // namespace velmora
