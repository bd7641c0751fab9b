// OwnedArray: the engine's growable array of owned, possibly empty slots.
#pragma once

#include <limits.h>

#include <memory>
#include <new>
#include <utility>

#include "engine/Errors.h"

namespace velmora {

// Owns its elements; a slot may be empty (null) and never changes index. The capacity doubles
// when an append finds the array full. Access outside [0, count) fails with code 14, so a
// negative index never touches memory. Not thread-safe.
template <typename T>
class OwnedArray {
 public:
  explicit OwnedArray(int initialCapacity)
      : items(std::make_unique<std::unique_ptr<T>[]>(initialCapacity)), capacity(initialCapacity) {}
  OwnedArray(const OwnedArray&) = delete;
  OwnedArray& operator=(const OwnedArray&) = delete;

  // Takes ownership; grows first when full. The new slot is the old count.
  void append(std::unique_ptr<T> item) {
    if (count >= capacity) grow();
    items[count++] = std::move(item);
  }
  // Grows now, as appends would, until `more` further appends fit: they cannot fail then.
  void reserve(int more) {
    while (count > capacity - more) grow();
  }

  // The stored pointer (null for an empty slot); code 14 outside [0, count).
  T* at(int i) const {
    if (i < 0 || i >= count) throwError(kIndexOutOfRange);
    return items[i].get();
  }

  bool exists(int i) const { return i >= 0 && i < count && items[i] != nullptr; }

  // Replaces slot i (destroying the old element); code 14 outside [0, count).
  void set(int i, std::unique_ptr<T> item) {
    if (i < 0 || i >= count) throwError(kIndexOutOfRange);
    if (items[i] != item) items[i] = std::move(item);
  }

  // Destroys the elements from slot n on and sets the count to n; the capacity stays. Nothing
  // happens unless 0 <= n < count.
  void truncate(int n) {
    if (n < 0) return;
    for (int i = n; i < count; ++i) items[i].reset();
    if (n < count) count = n;
  }

  // Destroys every element and sets the count to 0; the capacity stays.
  void clear() {
    for (int i = 0; i < count; ++i) items[i].reset();
    count = 0;
  }

  int getCount() const { return count; }
  int getCapacity() const { return capacity; }

 private:
  void grow() {
    if (capacity > INT_MAX / 2) throw std::bad_alloc();
    const int doubled = capacity == 0 ? 1 : capacity * 2;
    auto bigger = std::make_unique<std::unique_ptr<T>[]>(doubled);
    for (int i = 0; i < count; ++i) bigger[i] = std::move(items[i]);
    items = std::move(bigger);
    capacity = doubled;
  }

  std::unique_ptr<std::unique_ptr<T>[]> items;
  int count = 0;
  int capacity;
};

}  // namespace velmora
