// IntArray: the engine's growable array of ints.
#pragma once

#include <limits.h>
#include <string.h>

#include <memory>
#include <new>

#include "engine/Errors.h"

namespace velmora {

// Count and capacity, capacity doubling when an append finds it full; access outside
// [0, count) fails with code 14. Not thread-safe.
class IntArray {
 public:
  explicit IntArray(int initialCapacity)
      : items(initialCapacity > 0 ? new int[static_cast<size_t>(initialCapacity)] : nullptr),
        capacity(initialCapacity) {}
  IntArray(const IntArray&) = delete;
  IntArray& operator=(const IntArray&) = delete;
  IntArray(IntArray&&) noexcept = default;
  IntArray& operator=(IntArray&&) noexcept = default;

  void append(int value) {
    if (count >= capacity) grow(1);
    items[count++] = value;
  }
  // Grows now, in one step, until `more` further appends fit: they cannot fail then.
  void reserve(int more) {
    if (count > capacity - more) grow(more);
  }

  int at(int i) const {
    if (i < 0 || i >= count) throwError(kIndexOutOfRange);
    return items[i];
  }

  // Overwrites entry i; code 14 outside [0, count).
  void set(int i, int value) {
    if (i < 0 || i >= count) throwError(kIndexOutOfRange);
    items[i] = value;
  }

  // Keeps the first n entries; nothing unless 0 <= n < count. The capacity stays.
  void truncate(int n) {
    if (n >= 0 && n < count) count = n;
  }

  // Removes entry i; the later entries move down by one. Code 14 outside [0, count).
  void removeAt(int i) {
    if (i < 0 || i >= count) throwError(kIndexOutOfRange);
    memmove(&items[i], &items[i + 1], sizeof(int) * static_cast<size_t>(count - i - 1));
    --count;
  }

  // Removes the first n entries; the rest move to the front. Code 14 unless 0 <= n <= count.
  void removeFront(int n) {
    if (n < 0 || n > count) throwError(kIndexOutOfRange);
    memmove(&items[0], &items[n], sizeof(int) * static_cast<size_t>(count - n));
    count -= n;
  }

  // Position of the first entry equal to value at or after from, or -1.
  int find(int value, int from = 0) const {
    for (int i = from < 0 ? 0 : from; i < count; ++i) {
      if (items[i] == value) return i;
    }
    return -1;
  }

  // Sets the count to 0; the capacity stays.
  void clear() { count = 0; }

  // Reallocates to exactly count entries when there is spare capacity.
  void shrinkToFit() {
    if (count >= capacity) return;
    std::unique_ptr<int[]> exact = count > 0 ? std::make_unique<int[]>(count) : nullptr;
    if (count > 0) memcpy(exact.get(), items.get(), sizeof(int) * static_cast<size_t>(count));
    items = std::move(exact);
    capacity = count;
  }

  int getCount() const { return count; }
  int getCapacity() const { return capacity; }

 private:
  // Room for `more` entries after count: twice the capacity, or more when that falls short.
  // Four ints cost no more heap than one: the allocator's smallest block holds them.
  void grow(int more) {
    const long long needed = static_cast<long long>(count) + more;
    const long long doubled = capacity == 0 ? 4 : 2LL * capacity;
    const long long size = doubled > needed ? doubled : needed;
    if (size > INT_MAX) throw std::bad_alloc();
    std::unique_ptr<int[]> bigger(new int[static_cast<size_t>(size)]);  // left unfilled
    if (count > 0) memcpy(bigger.get(), items.get(), sizeof(int) * static_cast<size_t>(count));
    items = std::move(bigger);
    capacity = static_cast<int>(size);
  }

  std::unique_ptr<int[]> items;
  int count = 0;
  int capacity;
};

}  // namespace velmora
