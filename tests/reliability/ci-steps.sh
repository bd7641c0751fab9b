#!/usr/bin/env bash
# The reliability checks CI runs after the plain, clang and sanitizer builds:
#   1. the concurrency tests under ThreadSanitizer (a build of their own);
#   2. the component and sample-program tests under valgrind memcheck (the plain build);
#   3. the operation-sequence fuzzer for a bounded time, when clang can build libFuzzer targets.
# Bounded to roughly 15 minutes on 2 cores. Fails on any report.
#
# Usage: tests/reliability/ci-steps.sh [plain-build-dir]
#   plain-build-dir   an already built plain (unsanitized) build; default: build
# Environment: FUZZ_SECONDS (default 60) and FUZZ_SEED (default 1, a fixed seed; 0 draws one)
# for the fuzzer, JOBS (default 2), BUILD_PREFIX (default
# build-ci) for the names of the build directories this script makes (<prefix>-tsan, -fuzz).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root"
plain=${1:-build}
jobs=${JOBS:-2}
fuzzSeconds=${FUZZ_SECONDS:-60}
tsan=${BUILD_PREFIX:-build-ci}-tsan
fuzz=${BUILD_PREFIX:-build-ci}-fuzz
section() { echo; echo "=== reliability: $* ==="; }

section "concurrency under ThreadSanitizer"
cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=thread \
  -DVELMORA_INSTALL=OFF >/dev/null
cmake --build "$tsan" -j"$jobs" --target velmora_concurrency_tests velmora_component_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
timeout 600 "$tsan"/tests/reliability/velmora_concurrency_tests
timeout 300 "$tsan"/tests/component/velmora_component_tests \
  --gtest_filter='ServerTest.InstancesOnSeparateThreadsAtOnce:ServerTest.CanUnloadOnlyWhenNothingIsAlive'
unset TSAN_OPTIONS

section "valgrind memcheck: component and sample-program tests"
if ! command -v valgrind >/dev/null 2>&1; then
  echo "valgrind is not installed" >&2
  exit 1
fi
cmake --build "$plain" -j"$jobs" --target velmora_component_tests velmora_integration_tests \
  velmora_client_tests
memcheck=(valgrind --quiet --error-exitcode=99 --leak-check=full
          --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect
          --trace-children=yes --trace-children-skip='*/cmake,*/ctest,*/nm')
for test in tests/component/velmora_component_tests tests/client/velmora_client_tests \
            tests/integration/velmora_integration_tests; do
  echo "memcheck: $test"
  # Thread-heavy tests are left to ThreadSanitizer: under valgrind they only take time.
  timeout 600 "${memcheck[@]}" "$plain/$test" --gtest_brief=1 \
    --gtest_filter='-ServerTest.InstancesOnSeparateThreadsAtOnce'
done

section "operation-sequence fuzzer (${fuzzSeconds} s)"
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf '#include <stddef.h>\n#include <stdint.h>\nextern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }\n' \
  >"$probe/probe.cpp"
if ! command -v clang++ >/dev/null 2>&1 ||
   ! clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" \
     >/dev/null 2>&1; then
  echo "clang++ cannot build libFuzzer targets here; skipping the operation fuzzer"
  exit 0
fi
# The same configuration as fuzz/run, so both share one build directory.
cmake -S . -B "$fuzz" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
  -DVELMORA_SANITIZE=address,undefined -DVELMORA_BUILD_FUZZERS=ON -DVELMORA_BUILD_TESTS=OFF \
  -DVELMORA_INSTALL=OFF >/dev/null
if ! cmake --build "$fuzz" --target help | grep -q '^velmora_operation_sequence_fuzz:'; then
  echo "fuzz/CMakeLists.txt defines no velmora_operation_sequence_fuzz target" >&2
  exit 1
fi
cmake --build "$fuzz" -j"$jobs" --target velmora_operation_sequence_fuzz
corpus="$fuzz"/fuzz-corpus/operations
artifacts="$fuzz"/fuzz-artifacts/operations/
mkdir -p "$corpus" "$artifacts"
if ! "$fuzz"/fuzz/velmora_operation_sequence_fuzz -max_total_time="$fuzzSeconds" \
     -seed="${FUZZ_SEED:-1}" -timeout=20 -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
     -artifact_prefix="$artifacts" "$corpus" fuzz/corpus/operations \
     >"$fuzz"/fuzz-artifacts/operations.log 2>&1; then
  echo "operation fuzzer FAILED; inputs in $artifacts, log follows"
  tail -n 80 "$fuzz"/fuzz-artifacts/operations.log
  exit 1
fi
grep -E '^stat::number_of_executed_units|^Done' "$fuzz"/fuzz-artifacts/operations.log || true
echo "reliability checks passed"
