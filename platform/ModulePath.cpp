#include "platform/ModulePath.h"

#include <dlfcn.h>
#include <link.h>
#include <stdlib.h>

#include <memory>

namespace velmora {

std::string modulePathOf(const void* addressInModule) {
  Dl_info info{};
  link_map* map = nullptr;
  if (::dladdr1(addressInModule, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
      map == nullptr)
    return "";
  // The program itself has an empty name in the link map; the kernel knows its file.
  const char* name =
      map->l_name != nullptr && map->l_name[0] != '\0' ? map->l_name : "/proc/self/exe";
  const std::unique_ptr<char, decltype(&free)> resolved(::realpath(name, nullptr), &free);
  return resolved != nullptr ? std::string(resolved.get()) : std::string();
}

}  // namespace velmora
