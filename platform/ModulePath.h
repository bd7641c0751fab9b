// Locating the shared object (or program) that holds a given address.
#pragma once

#include <string>

namespace velmora {

// The absolute path, symbolic links resolved, of the shared object or executable holding the
// address; "" when the address is in none or the path cannot be resolved.
std::string modulePathOf(const void* addressInModule);

}  // namespace velmora
