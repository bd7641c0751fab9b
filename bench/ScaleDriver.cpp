// velmora_scale: one build, save and load of N employee records through the component, timed
// and with the peak resident size of each step; for sizes too large for the benchmark loop, and
// for profiling one step under a tool.
//
//   velmora_scale N [--relation] [--file PATH]
//
// Prints one line per step: "step N seconds peak_rss_growth_bytes". The file (default: in the
// scratch directory) is removed at the end unless --file names it.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "bench/BenchSupport.h"
#include "bench/EmployeeData.h"

using namespace velmora;

namespace {

double now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

[[noreturn]] void usage() {
  fprintf(stderr, "usage: velmora_scale N [--relation] [--file PATH]\n");
  exit(2);
}

// Runs step with the peak resident size restarted, and prints its time and peak growth.
template <typename Step>
void measured(const char* name, int n, Step&& step) {
  resetPeakResident();
  const size_t before = residentBytes();
  const double start = now();
  if (step() != S_OK) {
    fprintf(stderr, "velmora_scale: %s failed\n", name);
    exit(1);
  }
  const double seconds = now() - start;
  const size_t peak = peakResidentBytes();
  printf("%s %d %.3f %zu\n", name, n, seconds, peak > before ? peak - before : 0);
  fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) usage();
  const int n = atoi(argv[1]);
  if (n <= 0) usage();
  bool withDepartments = false;
  std::string file;
  for (int i = 2; i < argc; ++i) {
    if (strcmp(argv[i], "--relation") == 0) {
      withDepartments = true;
    } else if (strcmp(argv[i], "--file") == 0 && i + 1 < argc) {
      file = argv[++i];
    } else {
      usage();
    }
  }
  const bool keep = !file.empty();
  if (!keep) file = scratchFile("scale.xml");

  const std::vector<Employee>& rows = employees(n);
  {
    ComponentInstance built = createInstance();
    if (defineTables(built.get(), withDepartments) != S_OK) return 1;
    measured("build", n, [&] {
      HRESULT failures = withDepartments ? addDepartments(built.get(), departmentCount(n)) : S_OK;
      return failures | addEmployees(built.get(), rows, withDepartments);
    });
    measured("save", n, [&] {
      uint8_t saved = 0;
      const HRESULT result = built->Save(file.c_str(), &saved);
      return result == S_OK && saved == 1 ? S_OK : E_FAIL;
    });
  }
  printf("file %d %zu\n", n, fileSize(file));
  ComponentInstance loaded = createInstance();
  if (defineTables(loaded.get(), withDepartments) != S_OK) return 1;
  measured("load", n, [&] {
    uint8_t result = 0;
    int32_t count = 0;
    HRESULT failures = loaded->Load(file.c_str(), &result);
    failures |= loaded->GetRecordCount("employee", &count);
    return failures == S_OK && result == 1 && count == n ? S_OK : E_FAIL;
  });
  if (!keep) unlink(file.c_str());
  return 0;
}
