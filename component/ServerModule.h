// The module-wide count that decides whether the library may be unloaded.
#pragma once

#include <stdint.h>

namespace velmora {

// Every AddRef of a factory or component object adds 1, every Release subtracts 1, LockServer
// adds or subtracts 1. Atomic: separate instances may live on separate threads.
void moduleAddRef();
void moduleRelease();
int32_t moduleCount();

}  // namespace velmora
