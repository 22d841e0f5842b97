#!/usr/bin/env bash
# Builds everything from nothing and runs every test: first the thread tests under
# ThreadSanitizer, then the whole suite under AddressSanitizer and
# UndefinedBehaviorSanitizer. Ends with CTest's summary of the suite.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)

cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVANE_TSAN=ON
cmake --build build/tsan -j "$jobs"  # only the thread tests are built there
(cd build/tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    ctest -L thread --output-on-failure -j "$jobs")

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=ON
cmake --build build/asan -j "$jobs"
cd build/asan
export ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1" \
    LSAN_OPTIONS="suppressions=$PWD/../../tests/support/lsan.supp" QT_QPA_PLATFORM=offscreen
# The one test that writes an archive past 4 GiB (label `slow`) runs alone, so that its
# disk traffic does not slow the others down; then everything else.
ctest --output-on-failure -L slow
ctest --output-on-failure -j "$jobs" -LE slow
