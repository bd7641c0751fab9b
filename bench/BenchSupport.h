// What every benchmark shares: the component loaded as a caller loads it, the sizes to run,
// scratch files, a durable file write and the memory probes.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>

#include <benchmark/benchmark.h>

#include "velmora/IVelmoraDatabase.h"

namespace velmora {

// One component instance, released when the holder dies. Move-only.
class ComponentInstance {
 public:
  ComponentInstance() = default;
  explicit ComponentInstance(IVelmoraDatabase* created) : object(created) {}
  ~ComponentInstance() { reset(); }
  ComponentInstance(ComponentInstance&& other) noexcept : object(other.object) {
    other.object = nullptr;
  }
  ComponentInstance& operator=(ComponentInstance&& other) noexcept {
    if (this != &other) {
      reset();
      object = other.object;
      other.object = nullptr;
    }
    return *this;
  }
  ComponentInstance(const ComponentInstance&) = delete;
  ComponentInstance& operator=(const ComponentInstance&) = delete;

  IVelmoraDatabase* operator->() const { return object; }
  IVelmoraDatabase* get() const { return object; }
  void reset() {
    if (object != nullptr) object->Release();
    object = nullptr;
  }

 private:
  IVelmoraDatabase* object = nullptr;
};

// A new instance from the component library, which is loaded with dlopen on first use (from
// VELMORA_BENCH_LIBRARY when set, else the library built beside the benchmark) and stays loaded.
// Exits the process with a message when the library or the object cannot be had.
ComponentInstance createInstance();

// The record counts N to run (VELMORA_BENCH_SIZES, comma-separated; default 200000,1000000) and
// the child counts k of the cascade (VELMORA_BENCH_CASCADE; default 1000,10000,100000).
void recordSizes(benchmark::internal::Benchmark* benchmark);
void cascadeSizes(benchmark::internal::Benchmark* benchmark);

// A path in the scratch directory: VELMORA_BENCH_DIR when set, else a fresh directory under
// TMPDIR (or /tmp), removed with its files when the process exits.
std::string scratchFile(const std::string& name);
// Size in bytes of a file; 0 when it cannot be read.
size_t fileSize(const std::string& path);
// Reads a whole file; empty when it cannot be read.
std::string readFile(const std::string& path);

// Writes bytes to path. Durable: to a new temporary file beside it, fsync, close, rename over
// path, fsync the directory; otherwise a plain create-or-truncate and close. False on any failure
// (the temporary file is removed then).
bool writeFile(const std::string& path, std::string_view bytes, bool durable);

// The heap regime the run measures, from VELMORA_BENCH_HEAP: "cold" (the default) gives free
// heap memory back to the system before every timed step, so that every contender pays for the
// memory it touches (first touch is what costs on some machines) whatever ran before it; "warm"
// leaves freed memory with the process for the next step to reuse, as in a long-running program
// (the report adds an unmeasured warm-up). Exits on any other value.
bool warmHeap();
// Called while the clock is stopped before a timed step that allocates: in the cold regime gives
// free heap memory back to the system, in the warm one does nothing.
void freshHeap();

// Writes out whatever earlier benchmarks left to the disk (sync), so that the fsync of a timed
// save waits for its own data only. Called before a saving benchmark's loop.
void settleDisk();

// Heap bytes in use (malloc's arena and mmap'd chunks).
size_t heapInUse();
// Returns free heap memory to the system and restarts the peak resident size from the current
// resident size, so a following peakResidentBytes() tells the peak of what comes next.
void resetPeakResident();
size_t residentBytes();
size_t peakResidentBytes();

}  // namespace velmora
