// NameIndex: the two-way map between table or field names and their indices.
#pragma once

#include <stddef.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmora {

// Names are byte strings matched exactly (case-sensitive, the empty name included). Adding a
// name again makes it refer to the newest index; nothing is ever removed. Owns only its copies
// of the names. Looking a name up hashes the caller's bytes where they are, without copying
// them into a string first. Not thread-safe.
class NameIndex {
 public:
  NameIndex();

  void add(int index, std::string_view name);
  // Code 1 when the name has no entry.
  int indexOf(std::string_view name) const;
  // Code 2 when the index has no entry. The reference stays valid until the index's name is
  // replaced by add or the NameIndex is destroyed.
  const std::string& nameOf(int index) const;

 private:
  struct Entry {
    std::string name;
    size_t hash;
    int index;
  };

  // Position in entries of the name, or -1.
  int find(std::string_view name, size_t hash) const;
  void placeInBucket(int position);

  std::vector<Entry> entries;  // one per distinct name, in the order first added
  std::vector<int> buckets;    // open addressing: a position in entries, or -1 for a free bucket
  std::unordered_map<int, std::string> nameByIndex;
};

}  // namespace velmora
