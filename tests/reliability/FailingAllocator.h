// FailingAllocator: the process's replacement operator new, able to fail one chosen allocation
// with std::bad_alloc and counting the allocations alive. Linked only into the
// allocation-failure tests. Not for concurrent use while armed.
#pragma once

namespace velmora {

// Counting starts when armed: allocation number `allocation` (1 for the first) made while
// failures are enabled throws std::bad_alloc; later ones succeed again.
void armAllocationFailure(long allocation);
void disarmAllocationFailure();
// Only allocations made while enabled count towards the armed one.
void enableAllocationFailure(bool enabled);
// Whether the armed allocation has failed since arming.
bool allocationFailed();
// Allocations made and not yet freed, over the whole process.
long liveAllocations();

}  // namespace velmora
