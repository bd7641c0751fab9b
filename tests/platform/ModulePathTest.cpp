#include <dlfcn.h>
#include <stdlib.h>

#include <memory>

#include <gtest/gtest.h>

#include "platform/ModulePath.h"

using namespace velmora;

namespace {

std::string resolved(const char* path) {
  const std::unique_ptr<char, decltype(&free)> full(realpath(path, nullptr), &free);
  return full ? full.get() : "";
}

int localFunction() { return 0; }

}  // namespace

TEST(ModulePathTest, FindsTheLibraryOrProgramHoldingAnAddress) {
  void* library = dlopen(FAKE_SERVER_A, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  EXPECT_EQ(modulePathOf(dlsym(library, "DllCanUnloadNow")), resolved(FAKE_SERVER_A));
  dlclose(library);
  EXPECT_EQ(modulePathOf(reinterpret_cast<const void*>(&localFunction)),
            resolved("/proc/self/exe"));
  EXPECT_EQ(modulePathOf(nullptr), "");
}
