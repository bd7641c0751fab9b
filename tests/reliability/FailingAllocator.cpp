#include "tests/reliability/FailingAllocator.h"

#include <stddef.h>
#include <stdlib.h>

#include <atomic>
#include <new>

namespace {

std::atomic<long> countdown{0};  // allocations to go until the failing one; 0 when disarmed
std::atomic<bool> enabled{false};
std::atomic<bool> failed{false};
std::atomic<long> live{0};

void* allocate(size_t size, size_t alignment) {
  if (enabled.load(std::memory_order_relaxed) && countdown.load(std::memory_order_relaxed) > 0 &&
      countdown.fetch_sub(1, std::memory_order_relaxed) == 1) {
    failed = true;
    throw std::bad_alloc();
  }
  if (size == 0) size = 1;
  void* block = nullptr;
  if (alignment <= alignof(max_align_t)) {
    block = malloc(size);
  } else if (posix_memalign(&block, alignment, size) != 0) {
    block = nullptr;
  }
  if (block == nullptr) throw std::bad_alloc();
  live.fetch_add(1, std::memory_order_relaxed);
  return block;
}

void release(void* block) noexcept {
  if (block == nullptr) return;
  live.fetch_sub(1, std::memory_order_relaxed);
  free(block);
}

}  // namespace

namespace velmora {

void armAllocationFailure(long allocation) {
  failed = false;
  countdown = allocation;
}

void disarmAllocationFailure() {
  countdown = 0;
  enabled = false;
}

void enableAllocationFailure(bool state) { enabled = state; }

bool allocationFailed() { return failed; }

long liveAllocations() { return live; }

}  // namespace velmora

void* operator new(size_t size) { return allocate(size, 0); }
void* operator new[](size_t size) { return allocate(size, 0); }
void* operator new(size_t size, std::align_val_t alignment) {
  return allocate(size, static_cast<size_t>(alignment));
}
void* operator new[](size_t size, std::align_val_t alignment) {
  return allocate(size, static_cast<size_t>(alignment));
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size, 0);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size, 0);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, size_t) noexcept { release(block); }
void operator delete[](void* block, size_t) noexcept { release(block); }
void operator delete(void* block, std::align_val_t) noexcept { release(block); }
void operator delete[](void* block, std::align_val_t) noexcept { release(block); }
void operator delete(void* block, size_t, std::align_val_t) noexcept { release(block); }
void operator delete[](void* block, size_t, std::align_val_t) noexcept { release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { release(block); }
