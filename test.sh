#!/usr/bin/env bash
# Builds and runs every test: the suite, the suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer, the libraries without windows under ThreadSanitizer, and a
# bounded fuzz run of the site-file loader.
#   FUZZ_SECONDS  length of the fuzz run (default 60; 0 skips it)
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-60}

echo "== build and test"
cmake -S . -B build -G Ninja -DKVX_BUILD_BENCH=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== address and undefined-behaviour sanitizers"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKVX_SANITIZE=address,undefined >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== thread sanitizer (the libraries without windows)"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKVX_SANITIZE=thread -DKVX_BUILD_GUI=OFF >/dev/null
cmake --build build-tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --test-dir build-tsan --output-on-failure -j "$jobs"

if [ "$fuzz_seconds" -gt 0 ]; then
  echo "== fuzzing the site-file loader for ${fuzz_seconds}s"
  CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKVX_BUILD_FUZZ=ON -DKVX_BUILD_TESTS=OFF >/dev/null
  cmake --build build-fuzz -j "$jobs" --target fuzz_site_file
  fuzz/run-fuzz.sh build-fuzz/fuzz/fuzz_site_file "$fuzz_seconds"
fi
echo "== all tests passed"
