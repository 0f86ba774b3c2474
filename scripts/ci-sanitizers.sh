#!/usr/bin/env bash
# Builds Mardock with AddressSanitizer and UndefinedBehaviorSanitizer in
# ./build-asan (or $BUILD_DIR) and runs the whole test suite under them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build_dir="${BUILD_DIR:-build-asan}"

cmake -S . -B "$build_dir" -G Ninja -DMARDOCK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build_dir" -- -j"${JOBS:-2}"

export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt:print_suppressions=0"
ctest --test-dir "$build_dir" --output-on-failure -j"${JOBS:-2}"
