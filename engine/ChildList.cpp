#include "engine/ChildList.h"

namespace velmora {

void ChildList::append(int record) {
  if (head > 0 && entries.getCount() == entries.getCapacity()) {
    entries.removeFront(head);  // reuse the space of entries removed from the front
    head = 0;
  }
  entries.append(record);
}

int ChildList::at(int n) const {
  if (n < 0 || n >= getCount()) throwError(kIndexOutOfRange);
  return entries.at(head + n);
}

void ChildList::removeFirst(int record) {
  const int position = entries.find(record, head);
  if (position < 0) return;
  if (position == head) {
    ++head;
    if (head == entries.getCount()) clear();
  } else {
    entries.removeAt(position);
  }
}

void ChildList::clear() {
  entries.clear();
  head = 0;
}

}  // namespace velmora
