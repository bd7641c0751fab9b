// A fresh temporary directory per test, removed with everything in it afterwards.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace velmora {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return root; }
  std::string file(const std::string& name) const { return root + "/" + name; }

 private:
  std::string root;
};

class TempDirTest : public ::testing::Test {
 protected:
  TempDir dir;
};

// Reads a whole file; empty when it cannot be read.
std::string readFileBytes(const std::string& path);
// Writes bytes to a file, replacing it.
void writeFileBytes(const std::string& path, const std::string& bytes);
// Names in a directory, "." and ".." left out, sorted.
std::vector<std::string> listDirectory(const std::string& path);
// Number of open descriptors of this process.
int countOpenDescriptors();

}  // namespace velmora
