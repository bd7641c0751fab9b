#include "component/ServerModule.h"

#include <atomic>

namespace velmora {

namespace {
std::atomic<int32_t> count{0};
}  // namespace

void moduleAddRef() { count.fetch_add(1, std::memory_order_relaxed); }
void moduleRelease() { count.fetch_sub(1, std::memory_order_acq_rel); }
int32_t moduleCount() { return count.load(std::memory_order_acquire); }

}  // namespace velmora
