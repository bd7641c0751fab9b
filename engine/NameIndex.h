// NameIndex: the two-way map between table or field names and their indices.
#pragma once

#include <string>
#include <unordered_map>

// Names are byte strings matched exactly (case-sensitive, the empty name included). Adding a
// name again makes it refer to the newest index; nothing is ever removed. Owns only its copies
// of the names. Not thread-safe.
class NameIndex {
 public:
  void add(int index, const std::string& name);
  // Code 1 when the name has no entry.
  int indexOf(const std::string& name) const;
  // Code 2 when the index has no entry. The reference stays valid until the index's name is
  // replaced by add or the NameIndex is destroyed.
  const std::string& nameOf(int index) const;

 private:
  std::unordered_map<std::string, int> indexByName;
  std::unordered_map<int, std::string> nameByIndex;
};
