#include "engine/NameIndex.h"

#include "engine/Errors.h"

void NameIndex::add(int index, const std::string& name) {
  indexByName[name] = index;
  nameByIndex[index] = name;
}

int NameIndex::indexOf(const std::string& name) const {
  const auto found = indexByName.find(name);
  if (found == indexByName.end()) throwError(kNameNotFound);
  return found->second;
}

const std::string& NameIndex::nameOf(int index) const {
  const auto found = nameByIndex.find(index);
  if (found == nameByIndex.end()) throwError(kIndexHasNoName);
  return found->second;
}
