// Sets or clears environment variables for the length of a scope and restores them afterwards.
#pragma once

#include <stdlib.h>

#include <optional>
#include <string>

namespace velmora {

class ScopedEnvironment {
 public:
  // value nullopt: the variable is removed for the scope.
  ScopedEnvironment(const std::string& variable, const std::optional<std::string>& value)
      : name(variable) {
    if (const char* old = getenv(name.c_str())) previous = old;
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
  ~ScopedEnvironment() {
    if (previous) {
      setenv(name.c_str(), previous->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name;
  std::optional<std::string> previous;
};

}  // namespace velmora
